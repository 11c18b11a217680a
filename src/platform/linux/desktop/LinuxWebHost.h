#pragma once
// The web host seam on WebKitGTK 4.1. The environment is a WebKitWebContext whose website data
// lives under the folder App names (the profile persists between runs); the controller is one
// WebKitWebView filling the companion window. Completions are delivered from the main loop, never
// from inside the call that asked for them, as WebView2 does.
#include <functional>
#include <memory>
#include <set>
#include <string>

#include <webkit2/webkit2.h>

#include "OpaqueShape.h"
#include "PageChannel.h"
#include "web/WebHost.h"

class LinuxDesktop;

class LinuxWebHost final : public WebHost {
 public:
  explicit LinuxWebHost(LinuxDesktop& desktop);
  ~LinuxWebHost() override;
  LinuxWebHost(const LinuxWebHost&) = delete;
  LinuxWebHost& operator=(const LinuxWebHost&) = delete;

  void setEvents(WebHostEvents* events) override;

  bool loadRuntime() override;
  bool runtimePresent() override;
  void setTransparentDefault() override;
  WString runtimeDownloadUrl() override;

  bool createEnvironment(const std::filesystem::path& userDataFolder) override;
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

  WebKitWebView* view() const { return view_; }

 private:
  friend struct WebHostSignals;
  // Runs fn from the main loop unless the host (or its view generation) is gone by then.
  void later(std::function<void()> fn);
  // Compiles the content rules for the desk page into the view's content manager, then reports
  // the controller created.
  void installContentRules();

  LinuxDesktop& desktop_;
  WebHostEvents* events_ = nullptr;
  WebKitWebsiteDataManager* dataManager_ = nullptr;
  WebKitWebContext* context_ = nullptr;
  WebKitUserContentManager* content_ = nullptr;
  WebKitWebView* view_ = nullptr;
  bool handlersOn_ = false;
  bool contextMenus_ = false;
  bool loadFailed_ = false;
  bool answerRefused_ = false;  // this load's main answer was not one to show (status, type)
  bool blankInstead_ = false;   // the engine put an empty document in place of the one asked for
  std::string askedFor_;        // the address the shell last navigated to, until a document commits
  std::string checkedUri_;      // the main-frame address the policy has seen in this load
  bool checkedAllowed_ = false;  // and what App said of it
  std::string redirectedTo_;     // where this load was last redirected
  std::string filterFolder_;
  std::string token_;
  HandedFiles handed_;
  std::unique_ptr<OpaqueShape> shape_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  unsigned generation_ = 0;
};
