#include "Win32WebHost.h"

#include <cstdio>

#include "Handler.h"
#include "Win32Desktop.h"
#include "common/text.h"

Win32WebHost::Win32WebHost(Win32Desktop& desktop) : desktop_(desktop) {}

// The loader library stays loaded: WebView2 may still hold code of it.
Win32WebHost::~Win32WebHost() { releaseAll(); }

void Win32WebHost::setEvents(WebHostEvents* events) {
  events_ = events;
}

bool Win32WebHost::loadRuntime() {
  if (loader_) return true;
  const std::filesystem::path loader = desktop_.executablePath().parent_path() / L"WebView2Loader.dll";
  // Its own dependencies come only from its folder and the system folder.
  loader_ = LoadLibraryExW(loader.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!loader_) {
    std::fprintf(stderr, "tamsel-desk: cannot load %s (error %lu)\n", toNarrow(pathWide(loader)).c_str(),
                 GetLastError());
  }
  return loader_ != nullptr;
}

bool Win32WebHost::runtimePresent() {
  if (!loader_) return false;
  auto version = reinterpret_cast<GetAvailableCoreWebView2BrowserVersionStringFn>(
      reinterpret_cast<void*>(GetProcAddress(loader_, "GetAvailableCoreWebView2BrowserVersionString")));
  createEnvironment_ = reinterpret_cast<CreateCoreWebView2EnvironmentWithOptionsFn>(
      reinterpret_cast<void*>(GetProcAddress(loader_, "CreateCoreWebView2EnvironmentWithOptions")));
  if (!version) return false;
  LPWSTR text = nullptr;
  const HRESULT hr = version(nullptr, &text);
  // A loader that finds no installed runtime may still succeed and hand back no version.
  const bool found = SUCCEEDED(hr) && text && *text;
  CoTaskMemFree(text);
  if (FAILED(hr)) std::fprintf(stderr, "tamsel-desk: no WebView2 runtime (0x%08lx)\n", static_cast<unsigned long>(hr));
  if (SUCCEEDED(hr) && !found) std::fprintf(stderr, "tamsel-desk: no WebView2 runtime (no version installed)\n");
  return found && createEnvironment_;
}

void Win32WebHost::setTransparentDefault() {
  SetEnvironmentVariableW(L"WEBVIEW2_DEFAULT_BACKGROUND_COLOR", L"00000000");
}

WString Win32WebHost::runtimeDownloadUrl() {
  return L"https://developer.microsoft.com/microsoft-edge/webview2/#download-section";
}

bool Win32WebHost::createEnvironment(const std::filesystem::path& userDataFolder) {
  if (!createEnvironment_) return false;
  const unsigned generation = generation_;
  auto handler = makeHandler<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler, HRESULT,
                             ICoreWebView2Environment*>([this, generation](HRESULT hr, ICoreWebView2Environment* env) {
    if (!current(generation)) return S_OK;
    const bool ok = SUCCEEDED(hr) && env;
    if (ok) environment_ = ComRef<ICoreWebView2Environment>(env);
    if (!ok) std::fprintf(stderr, "tamsel-desk: WebView2 environment failed (0x%08lx)\n", static_cast<unsigned long>(hr));
    events_->onEnvironmentCreated(ok);
    return S_OK;
  });
  const HRESULT hr = createEnvironment_(nullptr, userDataFolder.c_str(), nullptr, handler.get());
  if (FAILED(hr)) std::fprintf(stderr, "tamsel-desk: WebView2 environment refused (0x%08lx)\n", static_cast<unsigned long>(hr));
  return SUCCEEDED(hr);
}

bool Win32WebHost::createController() {
  if (!environment_ || !desktop_.window()) return false;
  const unsigned generation = generation_;
  auto handler = makeHandler<ICoreWebView2CreateCoreWebView2ControllerCompletedHandler, HRESULT,
                             ICoreWebView2Controller*>([this, generation](HRESULT hr, ICoreWebView2Controller* made) {
    if (!current(generation)) return S_OK;
    if (SUCCEEDED(hr) && made) {
      controller_ = ComRef<ICoreWebView2Controller>(made);
      made->get_CoreWebView2(webView_.put());
    } else {
      std::fprintf(stderr, "tamsel-desk: WebView2 controller failed (0x%08lx)\n", static_cast<unsigned long>(hr));
    }
    events_->onControllerCreated(SUCCEEDED(hr) && made);
    return S_OK;
  });
  return SUCCEEDED(environment_->CreateCoreWebView2Controller(desktop_.window(), handler.get()));
}

bool Win32WebHost::hasEnvironment() { return static_cast<bool>(environment_); }
bool Win32WebHost::hasController() { return static_cast<bool>(controller_); }
bool Win32WebHost::hasWebView() { return static_cast<bool>(webView_); }

bool Win32WebHost::hasController2() {
  if (!controller2_) controller2_ = controller_.query<ICoreWebView2Controller2>();
  return static_cast<bool>(controller2_);
}

void Win32WebHost::closeController() {
  if (controller_) controller_->Close();
}

void Win32WebHost::releaseAll() {
  ++generation_;
  webView_.reset();
  controller2_.reset();
  controller_.reset();
  environment_.reset();
}

ComRef<ICoreWebView2Settings> Win32WebHost::settings() const {
  ComRef<ICoreWebView2Settings> settings;
  if (webView_) webView_->get_Settings(settings.put());
  return settings;
}

void Win32WebHost::setBackgroundTransparent() {
  if (hasController2()) controller2_->put_DefaultBackgroundColor(COREWEBVIEW2_COLOR{0, 0, 0, 0});
}

void Win32WebHost::setZoomFactor(double zoom) {
  if (controller_) controller_->put_ZoomFactor(zoom);
}

void Win32WebHost::setContextMenus(bool on) {
  if (auto s = settings()) s->put_AreDefaultContextMenusEnabled(on);
}

void Win32WebHost::setStatusBar(bool on) {
  if (auto s = settings()) s->put_IsStatusBarEnabled(on);
}

void Win32WebHost::setBuiltInErrorPage(bool on) {
  if (auto s = settings()) s->put_IsBuiltInErrorPageEnabled(on);
}

void Win32WebHost::setZoomControl(bool on) {
  if (auto s = settings()) s->put_IsZoomControlEnabled(on);
}

bool Win32WebHost::setAcceleratorKeys(bool on) {
  auto s3 = settings().query<ICoreWebView2Settings3>();
  if (!s3) return false;
  s3->put_AreBrowserAcceleratorKeysEnabled(on);
  return true;
}

void Win32WebHost::setDevTools(bool on) {
  if (auto s = settings()) s->put_AreDevToolsEnabled(on);
}

BridgeFlavor Win32WebHost::bridgeFlavor() { return {}; }  // empty fields: the WebView2 form

bool Win32WebHost::addDocumentCreatedScript(const WString& script) {
  if (!webView_) return false;
  const unsigned generation = generation_;
  auto handler = makeHandler<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler, HRESULT, LPCWSTR>(
      [this, generation](HRESULT hr, LPCWSTR) {
        if (current(generation)) events_->onScriptAdded(SUCCEEDED(hr));
        return S_OK;
      });
  return SUCCEEDED(webView_->AddScriptToExecuteOnDocumentCreated(script.c_str(), handler.get()));
}

void Win32WebHost::setBounds(int width, int height) {
  if (controller_) controller_->put_Bounds(RECT{0, 0, width, height});
}

void Win32WebHost::notifyParentMoved() {
  if (controller_) controller_->NotifyParentWindowPositionChanged();
}

void Win32WebHost::setVisible(bool visible) {
  if (controller_) controller_->put_IsVisible(visible);
}

void Win32WebHost::moveFocus() {
  if (controller_) controller_->MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC);
}

void Win32WebHost::navigate(const WString& url) {
  if (webView_) webView_->Navigate(url.c_str());
}

void Win32WebHost::navigateToString(const WString& html) {
  if (webView_) webView_->NavigateToString(html.c_str());
}

void Win32WebHost::executeScript(const WString& script) {
  if (webView_) webView_->ExecuteScript(script.c_str(), nullptr);
}
