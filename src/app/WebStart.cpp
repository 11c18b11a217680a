// Bringing the web host up: runtime, environment, controller, settings, handlers and the bridge.
// Every failure on this road is fatal: the user is told why and the window is destroyed, which
// ends the process (exit code 1 before the loop runs, the loop's 0 after).
#include "app/App.h"
#include "app/ShellTexts.h"
#include "web/Bridge.h"

namespace {
void fail(Desktop& desktop, const WChar* text) {
  desktop.messageBox(text, MessageIcon::Error, true);
  desktop.destroyWindow();
}
}  // namespace

void App::startWeb() {
  if (!web_.loadRuntime()) {
    fail(desktop_, kTextLoaderMissing);
    return;
  }
  if (!web_.runtimePresent()) {
    if (desktop_.askYesNo(kTextNoRuntime)) openUrl(web_.runtimeDownloadUrl());
    desktop_.destroyWindow();
    return;
  }
  web_.setTransparentDefault();
  if (!web_.createEnvironment(dataDir / "WebView2")) fail(desktop_, kTextEnvironmentRefused);
}

void App::onEnvironmentCreated(bool ok) {
  if (closing) return;  // a late completion during shutdown shows nothing
  if (!ok) {
    fail(desktop_, kTextEnvironmentFailed);
    return;
  }
  if (!web_.createController()) fail(desktop_, kTextControllerRefused);
}

void App::onControllerCreated(bool ok) {
  if (closing) return;
  if (ok && web_.hasController()) {
    setupWeb();
  } else {
    fail(desktop_, kTextControllerFailed);
  }
}

void App::setupWeb() {
  if (!web_.hasController2()) {
    fail(desktop_, kTextRuntimeTooOld);
    return;
  }
  web_.setBackgroundTransparent();
  web_.setZoomFactor(1.0);
  web_.setContextMenus(false);
  web_.setStatusBar(false);
  web_.setBuiltInErrorPage(false);
  web_.setZoomControl(false);
  web_.setAcceleratorKeys(false);  // not offered by older runtimes; then it stays as it is
  web_.setDevTools(false);
  web_.registerEventHandlers();
  // A registration refused at once fails like one that completes with an error.
  if (!web_.addDocumentCreatedScript(documentCreatedScript(pageUrl, web_.bridgeFlavor()))) onScriptAdded(false);
}

void App::onScriptAdded(bool ok) {
  if (closing) return;
  if (!ok) {
    fail(desktop_, kTextScriptFailed);
    return;
  }
  placeWindow();
  web_.setVisible(true);
  loadPage();
  // Shown even when the user had hidden it before a restart of the web host.
  show();
}
