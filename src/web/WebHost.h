#pragma once
// The web host seam: what the shell calls on the embedded browser and the events it relies on.
// WebView2 on Windows, WebKitGTK on Linux, a recorder in tests. Every completion and event is
// delivered on the main thread through WebHostEvents.
#include <filesystem>
#include <optional>
#include <string>

#include "common/text.h"

class WebHostEvents {
 public:
  virtual ~WebHostEvents() = default;
  virtual void onEnvironmentCreated(bool ok) = 0;
  virtual void onControllerCreated(bool ok) = 0;
  virtual void onScriptAdded(bool ok) = 0;
  // source: the address of the document that posted; json: the message as JSON text;
  // filePath: the local path of a file object handed over with the message, if any.
  virtual void onWebMessage(const WString& source, const WString& json,
                            const std::optional<WString>& filePath) = 0;
  // Returns true to let the navigation go; false cancels it.
  virtual bool onNavigationStarting(const WString& uri) = 0;
  // Always handled: no window opens. uri may be empty.
  virtual void onNewWindowRequested(const WString& uri) = 0;
  virtual void onNavigationCompleted(bool success, bool cancelled) = 0;
  virtual void onProcessFailed(bool browserProcessExited) = 0;
  // Returns true to grant; the shell always denies.
  virtual bool onPermissionRequested() = 0;
  // The address of the desk page, the one document the host may show (for content rules).
  virtual WString deskPageUrl() const = 0;
};

// How the one bridge script reaches the shell on this platform. The bridge logic is shared
// (web/Bridge.h builds it); only these fragments differ. An empty field takes the WebView2 form.
struct BridgeFlavor {
  // JavaScript statements run first inside the bridge's closure, before window.webkit is
  // replaced by the page's entry point: capture any native handler here.
  std::string prelude;
  // A JS expression of one argument `m` (a plain object) that sends m to the shell.
  // WebView2: window.chrome.webview.postMessage(m).
  std::string sendExpression;
  // JS statements with `copy` (the message without "file") and `file` (a File) in scope that
  // send both. WebView2: postMessageWithAdditionalObjects(copy, [file]) when present, else copy.
  std::string sendWithFile;
  // The platform object given to the page as window.deskShell (a JS expression).
  // WebView2: { platform: 'win32', native: true }.
  std::string platformObject;
};

class WebHost {
 public:
  virtual ~WebHost() = default;
  // App registers itself here in its constructor and passes nullptr in its destructor; until
  // then no event may be delivered.
  virtual void setEvents(WebHostEvents* events) = 0;

  // Runtime. loadRuntime() is idempotent (the loader is never unloaded).
  virtual bool loadRuntime() = 0;
  virtual bool runtimePresent() = 0;
  virtual void setTransparentDefault() = 0;  // every view starts fully transparent
  virtual WString runtimeDownloadUrl() = 0;

  // Environment and controller; false means refused at once, else a completion follows.
  virtual bool createEnvironment(const std::filesystem::path& userDataFolder) = 0;
  virtual bool createController() = 0;
  virtual bool hasEnvironment() = 0;
  virtual bool hasController() = 0;
  virtual bool hasWebView() = 0;
  virtual bool hasController2() = 0;  // false: runtime too old
  virtual void closeController() = 0;
  virtual void releaseAll() = 0;  // web view, controller, environment, in that order

  // Settings.
  virtual void setBackgroundTransparent() = 0;
  virtual void setZoomFactor(double zoom) = 0;
  virtual void setContextMenus(bool on) = 0;
  virtual void setStatusBar(bool on) = 0;
  // The runtime's own page for a failed load: opaque, over the whole window until the shell's
  // offline notice replaces it.
  virtual void setBuiltInErrorPage(bool on) = 0;
  virtual void setZoomControl(bool on) = 0;
  virtual bool setAcceleratorKeys(bool on) = 0;  // false when not offered
  virtual void setDevTools(bool on) = 0;
  virtual void registerEventHandlers() = 0;  // in the order of WebHostEvents

  virtual BridgeFlavor bridgeFlavor() = 0;
  virtual bool addDocumentCreatedScript(const WString& script) = 0;  // completion onScriptAdded

  // Controller placement.
  virtual void setBounds(int width, int height) = 0;
  virtual void notifyParentMoved() = 0;
  virtual void setVisible(bool visible) = 0;
  virtual void moveFocus() = 0;

  virtual void navigate(const WString& url) = 0;
  virtual void navigateToString(const WString& html) = 0;
  virtual void executeScript(const WString& script) = 0;  // no completion
};
