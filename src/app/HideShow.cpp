// Hiding the companion for a while, showing it again, and handing addresses to the browser.
#include "app/App.h"
#include "common/url.h"
#include "web/Callbacks.h"

namespace {
constexpr std::uint64_t kHideMs = 3600000;
}

void App::hide() {
  runScript(blurScript());  // dropped without a web view or while closing
  pressDown = false;
  fileDragging = false;
  desktop_.hideWindow();
  hideUntil = desktop_.tickMs() + kHideMs;
}

void App::show() {
  hideUntil = 0;
  desktop_.showWindowNoActivate();
}

void App::openUrl(const WString& url) {
  if (crackUrl(url).valid) desktop_.openWebAddress(url);
}
