#pragma once
// The web host seam on WebView2. The loader library beside the executable is loaded once and
// never unloaded; the environment, controller and web view are WebView2's own reference-counted
// objects. Every completion and event comes through a Handler on the main thread; one that
// belongs to a host generation already released (a restart) is dropped.
#include <windows.h>

#include <filesystem>

#include "ComRef.h"
#include "WebView2Sdk.h"
#include "web/WebHost.h"

class Win32Desktop;

class Win32WebHost final : public WebHost {
 public:
  explicit Win32WebHost(Win32Desktop& desktop);
  ~Win32WebHost() override;
  Win32WebHost(const Win32WebHost&) = delete;
  Win32WebHost& operator=(const Win32WebHost&) = delete;

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

 private:
  friend struct WebViewEvents;
  ComRef<ICoreWebView2Settings> settings() const;
  // True while a completion or event of `generation` may still reach App.
  bool current(unsigned generation) const { return events_ && generation == generation_; }

  Win32Desktop& desktop_;
  WebHostEvents* events_ = nullptr;
  HMODULE loader_ = nullptr;
  CreateCoreWebView2EnvironmentWithOptionsFn createEnvironment_ = nullptr;
  ComRef<ICoreWebView2Environment> environment_;
  ComRef<ICoreWebView2Controller> controller_;
  ComRef<ICoreWebView2Controller2> controller2_;
  ComRef<ICoreWebView2> webView_;
  unsigned generation_ = 0;
};
