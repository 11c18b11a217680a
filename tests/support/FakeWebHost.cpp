#include "support/FakeWebHost.h"

#include <sstream>

namespace {
std::string onOff(const char* name, bool on) { return std::string(name) + (on ? " on" : " off"); }
}  // namespace

void FakeWebHost::completeEnvironment(bool ok) {
  if (!environmentPending) return;
  environmentPending = false;
  environment = ok;
  if (events) events->onEnvironmentCreated(ok);
}

void FakeWebHost::completeController(bool ok) {
  if (!controllerPending) return;
  controllerPending = false;
  controller = ok;
  webView = ok;
  if (events) events->onControllerCreated(ok);
}

void FakeWebHost::completeScript(bool ok) {
  if (!scriptPending) return;
  scriptPending = false;
  if (events) events->onScriptAdded(ok);
}

void FakeWebHost::completeAll() {
  completeEnvironment(true);
  completeController(true);
  completeScript(true);
}

void FakeWebHost::fireWebMessage(const WString& source, const WString& json,
                                 const std::optional<WString>& filePath) {
  if (events) events->onWebMessage(source, json, filePath);
}

void FakeWebHost::fireWebMessage(const std::string& source, const std::string& json,
                                 const std::optional<std::string>& filePath) {
  std::optional<WString> path;
  if (filePath) path = toWide(*filePath);
  fireWebMessage(toWide(source), toWide(json), path);
}

bool FakeWebHost::fireNavigationStarting(const WString& uri) {
  return events ? events->onNavigationStarting(uri) : true;
}

bool FakeWebHost::fireNavigationStarting(const std::string& uri) { return fireNavigationStarting(toWide(uri)); }

void FakeWebHost::fireNewWindowRequested(const WString& uri) {
  if (events) events->onNewWindowRequested(uri);
}

void FakeWebHost::fireNavigationCompleted(bool success, bool cancelled) {
  if (events) events->onNavigationCompleted(success, cancelled);
}

void FakeWebHost::fireProcessFailed(bool browserProcessExited) {
  if (events) events->onProcessFailed(browserProcessExited);
}

bool FakeWebHost::firePermissionRequested() { return events ? events->onPermissionRequested() : false; }

std::string FakeWebHost::lastScript() const { return scripts.empty() ? std::string() : toNarrow(scripts.back()); }

void FakeWebHost::setEvents(WebHostEvents* e) { events = e; }

bool FakeWebHost::loadRuntime() {
  ++loadRuntimeCalls;
  return loadRuntimeOk;
}

bool FakeWebHost::runtimePresent() { return runtimeIsPresent; }
void FakeWebHost::setTransparentDefault() { ++transparentDefaultCalls; }
WString FakeWebHost::runtimeDownloadUrl() { return downloadUrl; }

bool FakeWebHost::createEnvironment(const std::filesystem::path& folder) {
  ++createEnvironmentCalls;
  userDataFolder = folder;
  if (!createEnvironmentOk) return false;
  environmentPending = true;
  return true;
}

bool FakeWebHost::createController() {
  ++createControllerCalls;
  if (!createControllerOk) return false;
  controllerPending = true;
  return true;
}

bool FakeWebHost::hasEnvironment() { return environment; }
bool FakeWebHost::hasController() { return controller; }
bool FakeWebHost::hasWebView() { return webView; }
bool FakeWebHost::hasController2() { return controller && controller2; }

void FakeWebHost::closeController() {
  ++closeControllerCalls;
  controller = false;
  webView = false;
}

void FakeWebHost::releaseAll() {
  ++releaseAllCalls;
  webView = false;
  controller = false;
  environment = false;
  environmentPending = controllerPending = scriptPending = false;
}

void FakeWebHost::setBackgroundTransparent() { settings.push_back("background transparent"); }

void FakeWebHost::setZoomFactor(double zoom) {
  std::ostringstream s;
  s << "zoom " << zoom;
  settings.push_back(s.str());
}

void FakeWebHost::setContextMenus(bool on) { settings.push_back(onOff("context menus", on)); }
void FakeWebHost::setStatusBar(bool on) { settings.push_back(onOff("status bar", on)); }
void FakeWebHost::setBuiltInErrorPage(bool on) { settings.push_back(onOff("error page", on)); }
void FakeWebHost::setZoomControl(bool on) { settings.push_back(onOff("zoom control", on)); }

bool FakeWebHost::setAcceleratorKeys(bool on) {
  if (!acceleratorKeysOffered) return false;
  settings.push_back(onOff("accelerator keys", on));
  return true;
}

void FakeWebHost::setDevTools(bool on) { settings.push_back(onOff("dev tools", on)); }
void FakeWebHost::registerEventHandlers() { ++registerHandlersCalls; }
BridgeFlavor FakeWebHost::bridgeFlavor() { return flavor; }

bool FakeWebHost::addDocumentCreatedScript(const WString& script) {
  documentScripts.push_back(script);
  if (!addScriptOk) return false;
  scriptPending = true;
  return true;
}

void FakeWebHost::setBounds(int width, int height) {
  bounds = {width, height};
  boundsSet.push_back({width, height});
}

void FakeWebHost::notifyParentMoved() { ++notifyParentMovedCalls; }

void FakeWebHost::setVisible(bool visible) {
  controllerVisible = visible;
  visibilitySet.push_back(visible);
}

void FakeWebHost::moveFocus() { ++moveFocusCalls; }
void FakeWebHost::navigate(const WString& url) { navigations.push_back(url); }
void FakeWebHost::navigateToString(const WString& html) { documents.push_back(html); }
void FakeWebHost::executeScript(const WString& script) { scripts.push_back(script); }
