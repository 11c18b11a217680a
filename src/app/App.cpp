// Placeholder bodies so every library links while the application core is being built.
#include "app/App.h"

#include "lan/LanServer.h"

App::App(Desktop& desktop, WebHost& web) : desktop_(desktop), web_(web) {}
App::~App() = default;
int App::run() { return 1; }
int App::windowPhase() { return 1; }
void App::onTaskbarCreated() {}
void App::onDestroy() {}
void App::onSize() {}
void App::onSetFocus() {}
void App::onClose() {}
void App::onWorkAreaChanged() {}
void App::onDisplayChanged() {}
void App::onDpiChanged() {}
void App::onCompositionChanged() {}
void App::onTimer(int) {}
void App::onSessionChange(bool) {}
void App::onPrivateMessage(unsigned, std::uintptr_t, PayloadPtr) {}
void App::onEnvironmentCreated(bool) {}
void App::onControllerCreated(bool) {}
void App::onScriptAdded(bool) {}
void App::onWebMessage(const WString&, const WString&, const std::optional<WString>&) {}
bool App::onNavigationStarting(const WString&) { return false; }
void App::onNewWindowRequested(const WString&) {}
void App::onNavigationCompleted(bool, bool) {}
void App::onProcessFailed(bool) {}
bool App::onPermissionRequested() { return false; }
void App::applyTransparency() {}
void App::placeWindow() {}
void App::restartWeb() {}
void App::hide() {}
void App::show() {}
void App::openUrl(const WString&) {}
void App::startWeb() {}
void App::setupWeb() {}
void App::loadPage() {}
void App::showOffline() {}
void App::onPageMessage(const WString&, const WString&, const std::optional<WString>&) {}
bool App::isDeskPage(const WString&) const { return false; }
bool App::isSavedFile(const std::filesystem::path&) const { return false; }
void App::runScript(const WString&) {}
void App::postScript(const WString&) {}
bool App::postPayload(unsigned, std::uintptr_t, PayloadPtr) { return false; }
int runShell(Desktop&, WebHost&) { return 1; }
