#pragma once
// A recording web host for driving App in tests. Creation calls succeed or refuse as scripted
// and leave their completion pending; the test completes it (completeEnvironment(true)...) or
// fires any WebHostEvents event through fire... helpers, exactly as a backend would.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "web/WebHost.h"

class FakeWebHost : public WebHost {
 public:
  // ---- scripted answers ----
  bool loadRuntimeOk = true;
  bool runtimeIsPresent = true;
  bool createEnvironmentOk = true;  // false: refused at once
  bool createControllerOk = true;
  bool controller2 = true;
  bool acceleratorKeysOffered = true;
  bool addScriptOk = true;  // false: refused at once
  WString downloadUrl = toWide("https://runtime.example/download");
  BridgeFlavor flavor;  // defaults to the WebView2 form

  // ---- state ----
  WebHostEvents* events = nullptr;
  bool environment = false;
  bool controller = false;
  bool webView = false;
  bool environmentPending = false;
  bool controllerPending = false;
  bool scriptPending = false;
  std::optional<std::filesystem::path> userDataFolder;

  // ---- records ----
  int loadRuntimeCalls = 0;
  int transparentDefaultCalls = 0;
  int createEnvironmentCalls = 0;
  int createControllerCalls = 0;
  int closeControllerCalls = 0;
  int releaseAllCalls = 0;
  int registerHandlersCalls = 0;
  int notifyParentMovedCalls = 0;
  int moveFocusCalls = 0;
  // Settings in the order applied, e.g. "background transparent", "zoom 1", "context menus off".
  std::vector<std::string> settings;
  std::vector<WString> documentScripts;  // addDocumentCreatedScript calls
  std::vector<WString> navigations;
  std::vector<WString> documents;  // navigateToString
  std::vector<WString> scripts;    // executeScript
  std::optional<std::pair<int, int>> bounds;
  std::vector<std::pair<int, int>> boundsSet;
  std::optional<bool> controllerVisible;
  std::vector<bool> visibilitySet;

  // ---- completing what the shell started, as the runtime would ----
  void completeEnvironment(bool ok);
  void completeController(bool ok);
  void completeScript(bool ok);
  // Environment, controller and script all succeed, in order, as far as they were requested.
  void completeAll();

  // ---- events ----
  void fireWebMessage(const WString& source, const WString& json,
                      const std::optional<WString>& filePath = std::nullopt);
  void fireWebMessage(const std::string& source, const std::string& json,
                      const std::optional<std::string>& filePath = std::nullopt);
  bool fireNavigationStarting(const WString& uri);
  bool fireNavigationStarting(const std::string& uri);
  void fireNewWindowRequested(const WString& uri);
  void fireNavigationCompleted(bool success, bool cancelled = false);
  void fireProcessFailed(bool browserProcessExited);
  bool firePermissionRequested();

  // The last executed script as UTF-8, or "" when none.
  std::string lastScript() const;

  // ---- WebHost ----
  void setEvents(WebHostEvents* e) override;
  bool loadRuntime() override;
  bool runtimePresent() override;
  void setTransparentDefault() override;
  WString runtimeDownloadUrl() override;
  bool createEnvironment(const std::filesystem::path& folder) override;
  bool createController() override;
  bool hasEnvironment() override;
  bool hasController() override;
  bool hasWebView() override;
  bool hasController2() override;
  void closeController() override;
  void releaseAll() override;
  void setBackgroundTransparent() override;
  void setZoomFactor(double zoom) override;
  void setContextMenus(bool on) override;
  void setStatusBar(bool on) override;
  void setBuiltInErrorPage(bool on) override;
  void setZoomControl(bool on) override;
  bool setAcceleratorKeys(bool on) override;
  void setDevTools(bool on) override;
  void registerEventHandlers() override;
  BridgeFlavor bridgeFlavor() override;
  bool addDocumentCreatedScript(const WString& script) override;
  void setBounds(int width, int height) override;
  void notifyParentMoved() override;
  void setVisible(bool visible) override;
  void moveFocus() override;
  void navigate(const WString& url) override;
  void navigateToString(const WString& html) override;
  void executeScript(const WString& script) override;
};
