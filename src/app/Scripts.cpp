// Page callbacks run on the main thread only, never before the web view exists and never while
// the shell closes; workers hand theirs over as WM_RUN_SCRIPT.
#include "app/App.h"

void App::runScript(const WString& script) {
  if (web_.hasWebView() && !closing) web_.executeScript(script);
}

void App::postScript(const WString& script) {
  if (closing) return;
  postPayload(WM_RUN_SCRIPT, 0, std::make_unique<ScriptPayload>(script));
}
