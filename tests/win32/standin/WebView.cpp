// The stand-in's controller, web view, settings and event arguments.
#include "WebView.h"

#include <cstdio>

namespace standin {
namespace {

bool offline = false;
WebView* live = nullptr;

std::string flag(BOOL value) { return value ? "1" : "0"; }

bool webAddress(const std::wstring& uri) { return uri.rfind(L"http://", 0) == 0 || uri.rfind(L"https://", 0) == 0; }

// The page area: a plain child window that shows which document is loaded, so a person who
// starts the program by hand sees where the page would be.
LRESULT CALLBACK pageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT area;
    GetClientRect(hwnd, &area);
    FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1));
    wchar_t text[1024] = {};
    GetWindowTextW(hwnd, text, 1024);
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &paint);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND newPageWindow(HWND parent) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW pageClass{};
    pageClass.lpfnWndProc = pageProc;
    pageClass.hInstance = GetModuleHandleW(nullptr);
    pageClass.lpszClassName = L"DeskStandInPage";
    RegisterClassW(&pageClass);
    registered = true;
  }
  return CreateWindowExW(0, L"DeskStandInPage", L"WebView2 stand-in", WS_CHILD, 0, 0, 0, 0, parent, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

class Settings final : public Object<ICoreWebView2Settings3> {
 public:
  HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL on) override { return set("IsStatusBarEnabled", on); }
  HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL on) override { return set("AreDevToolsEnabled", on); }
  HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL on) override {
    return set("AreDefaultContextMenusEnabled", on);
  }
  HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL on) override { return set("IsZoomControlEnabled", on); }
  HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL on) override {
    return set("AreBrowserAcceleratorKeysEnabled", on);
  }

 private:
  HRESULT set(const char* name, BOOL on) {
    record(std::string("put_") + name + " " + flag(on));
    return S_OK;
  }
  bool offers(REFIID iid) const override {
    return IsEqualIID(iid, IID_ICoreWebView2Settings) || IsEqualIID(iid, IID_ICoreWebView2Settings3);
  }
};

class File final : public Object<ICoreWebView2File> {
 public:
  explicit File(std::wstring path) : path_(std::move(path)) {}
  HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* path) override {
    *path = taskText(path_);
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2File); }
  std::wstring path_;
};

class Objects final : public Object<ICoreWebView2ObjectCollectionView> {
 public:
  explicit Objects(std::wstring file) : file_(std::move(file)) {}
  HRESULT STDMETHODCALLTYPE get_Count(UINT32* count) override {
    *count = file_.empty() ? 0 : 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index, IUnknown** value) override {
    *value = nullptr;
    if (file_.empty() || index != 0) return E_INVALIDARG;
    *value = new File(file_);
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2ObjectCollectionView); }
  std::wstring file_;
};

class MessageArgs final : public Object<ICoreWebView2WebMessageReceivedEventArgs2> {
 public:
  MessageArgs(std::wstring source, std::wstring json, std::wstring file)
      : source_(std::move(source)), json_(std::move(json)), file_(std::move(file)) {}
  HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) override {
    *source = taskText(source_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) override {
    *json = taskText(json_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_AdditionalObjects(ICoreWebView2ObjectCollectionView** objects) override {
    *objects = new Objects(file_);
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override {
    return IsEqualIID(iid, IID_ICoreWebView2WebMessageReceivedEventArgs) ||
           IsEqualIID(iid, IID_ICoreWebView2WebMessageReceivedEventArgs2);
  }
  std::wstring source_, json_, file_;
};

class StartingArgs final : public Object<ICoreWebView2NavigationStartingEventArgs> {
 public:
  explicit StartingArgs(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = taskText(uri_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) override {
    record("put_Cancel " + flag(cancel) + " " + narrow(uri_.c_str()));
    cancelled = cancel;
    return S_OK;
  }
  bool cancelled = false;

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2NavigationStartingEventArgs); }
  std::wstring uri_;
};

class NewWindowArgs final : public Object<ICoreWebView2NewWindowRequestedEventArgs> {
 public:
  explicit NewWindowArgs(std::wstring uri) : uri_(std::move(uri)) {}
  HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) override {
    *uri = taskText(uri_);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) override {
    record("put_Handled " + flag(handled) + " " + narrow(uri_.c_str()));
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2NewWindowRequestedEventArgs); }
  std::wstring uri_;
};

class CompletedArgs final : public Object<ICoreWebView2NavigationCompletedEventArgs> {
 public:
  CompletedArgs(bool success, int status) : success_(success), status_(status) {}
  HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) override {
    *success = success_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status) override {
    *status = static_cast<COREWEBVIEW2_WEB_ERROR_STATUS>(status_);
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2NavigationCompletedEventArgs); }
  bool success_;
  int status_;
};

class FailedArgs final : public Object<ICoreWebView2ProcessFailedEventArgs> {
 public:
  explicit FailedArgs(int kind) : kind_(kind) {}
  HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) override {
    *kind = static_cast<COREWEBVIEW2_PROCESS_FAILED_KIND>(kind_);
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2ProcessFailedEventArgs); }
  int kind_;
};

class PermissionArgs final : public Object<ICoreWebView2PermissionRequestedEventArgs> {
 public:
  HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) override {
    record("put_State " + std::to_string(static_cast<int>(state)));
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2PermissionRequestedEventArgs); }
};

}  // namespace

class WebView final : public Object<ICoreWebView2> {
 public:
  explicit WebView(HWND page) : page_(page) { live = this; }

  HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) override {
    *settings = new Settings();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) override {
    if (closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    record("Navigate " + narrow(uri));
    ComRef<WebView> keep(this);
    later([keep, target = std::wstring(uri ? uri : L"")] { startNavigation(*keep.get(), target); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) override {
    if (closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    record("NavigateToString " + narrow(html));
    ComRef<WebView> keep(this);
    later([keep] { startNavigation(*keep.get(), L"about:blank"); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("NavigationStarting", starting, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* h,
                                                    EventRegistrationToken* token) override {
    return add("NavigationCompleted", completed, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* h,
                                                    EventRegistrationToken* token) override {
    return add("PermissionRequested", permission, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* h,
                                              EventRegistrationToken* token) override {
    return add("ProcessFailed", failed, h, token);
  }
  HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR script, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) override {
    record("AddScriptToExecuteOnDocumentCreated " + narrow(script));
    if (!handler) return E_POINTER;
    ComRef<ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler> keep(handler);
    later([keep] { keep->Invoke(failing("script") ? E_FAIL : S_OK, failing("script") ? nullptr : L"1"); });
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR script, ICoreWebView2ExecuteScriptCompletedHandler*) override {
    if (closed) return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    record("ExecuteScript " + narrow(script));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("WebMessageReceived", messages, h, token);
  }
  HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* h,
                                                   EventRegistrationToken* token) override {
    return add("NewWindowRequested", newWindows, h, token);
  }

  void close() {
    closed = true;
    if (live == this) live = nullptr;
    if (page_) DestroyWindow(page_);
    page_ = nullptr;
  }
  void showDocument(const std::wstring& uri) {
    if (page_) {
      SetWindowTextW(page_, uri.c_str());
      InvalidateRect(page_, nullptr, TRUE);
    }
  }

  bool closed = false;
  std::vector<ComRef<ICoreWebView2NavigationStartingEventHandler>> starting;
  std::vector<ComRef<ICoreWebView2NavigationCompletedEventHandler>> completed;
  std::vector<ComRef<ICoreWebView2PermissionRequestedEventHandler>> permission;
  std::vector<ComRef<ICoreWebView2ProcessFailedEventHandler>> failed;
  std::vector<ComRef<ICoreWebView2WebMessageReceivedEventHandler>> messages;
  std::vector<ComRef<ICoreWebView2NewWindowRequestedEventHandler>> newWindows;

 private:
  ~WebView() override { close(); }
  template <typename H>
  HRESULT add(const char* name, std::vector<ComRef<H>>& list, H* handler, EventRegistrationToken* token) {
    record(std::string("add_") + name);
    if (!handler || !token) return E_POINTER;
    list.emplace_back(handler);
    token->value = static_cast<INT64>(list.size());
    return S_OK;
  }
  bool offers(REFIID iid) const override { return IsEqualIID(iid, IID_ICoreWebView2); }
  HWND page_;
};

namespace {

class Controller final : public Object<ICoreWebView2Controller2> {
 public:
  explicit Controller(HWND parent) : page_(newPageWindow(parent)) {
    view_ = ComRef<WebView>::adopt(new WebView(page_));
  }
  HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) override {
    record("put_IsVisible " + flag(visible));
    if (page_ && !view_->closed) ShowWindow(page_, visible ? SW_SHOWNA : SW_HIDE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Bounds(RECT r) override {
    record("put_Bounds " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) +
           " " + std::to_string(r.bottom));
    if (page_ && !view_->closed) MoveWindow(page_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoom) override {
    record("put_ZoomFactor " + std::to_string(zoom));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON) override {
    record("MoveFocus");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() override {
    record("NotifyParentWindowPositionChanged");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override {
    record("Close");
    view_->close();
    page_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** view) override {
    *view = view_.get();
    view_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR c) override {
    record("put_DefaultBackgroundColor " + std::to_string(c.A) + " " + std::to_string(c.R) + " " +
           std::to_string(c.G) + " " + std::to_string(c.B));
    return S_OK;
  }

 private:
  bool offers(REFIID iid) const override {
    return IsEqualIID(iid, IID_ICoreWebView2Controller) ||
           (IsEqualIID(iid, IID_ICoreWebView2Controller2) && !failing("controller2"));
  }
  HWND page_;
  ComRef<WebView> view_;
};

template <typename H, typename A>
void raise(WebView& view, std::vector<ComRef<H>>& handlers, A* args) {
  ComRef<WebView> keep(&view);
  const auto snapshot = handlers;
  for (const auto& handler : snapshot) handler->Invoke(&view, args);
}

}  // namespace

ICoreWebView2Controller* newController(HWND parent) { return new Controller(parent); }

WebView* currentView() { return live; }

void setOffline(bool on) { offline = on; }

void raiseWebMessage(WebView& view, const std::wstring& source, const std::wstring& json, const std::wstring& file) {
  auto args = ComRef<MessageArgs>::adopt(new MessageArgs(source, json, file));
  raise(view, view.messages, static_cast<ICoreWebView2WebMessageReceivedEventArgs*>(args.get()));
}

void startNavigation(WebView& view, const std::wstring& uri) {
  if (view.closed) return;
  auto args = ComRef<StartingArgs>::adopt(new StartingArgs(uri));
  raise(view, view.starting, static_cast<ICoreWebView2NavigationStartingEventArgs*>(args.get()));
  if (args->cancelled) {
    raiseCompleted(view, false, COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED);
    return;
  }
  view.showDocument(uri);
  // Unreachable: the shape of a refused connection (COREWEBVIEW2_WEB_ERROR_STATUS_CANNOT_CONNECT).
  if (offline && webAddress(uri)) {
    raiseCompleted(view, false, 12);
  } else {
    raiseCompleted(view, true, 0);
  }
}

void raiseNewWindow(WebView& view, const std::wstring& uri) {
  auto args = ComRef<NewWindowArgs>::adopt(new NewWindowArgs(uri));
  raise(view, view.newWindows, static_cast<ICoreWebView2NewWindowRequestedEventArgs*>(args.get()));
}

void raiseCompleted(WebView& view, bool success, int status) {
  auto args = ComRef<CompletedArgs>::adopt(new CompletedArgs(success, status));
  raise(view, view.completed, static_cast<ICoreWebView2NavigationCompletedEventArgs*>(args.get()));
}

void raiseProcessFailed(WebView& view, int kind) {
  auto args = ComRef<FailedArgs>::adopt(new FailedArgs(kind));
  raise(view, view.failed, static_cast<ICoreWebView2ProcessFailedEventArgs*>(args.get()));
}

void raisePermission(WebView& view) {
  auto args = ComRef<PermissionArgs>::adopt(new PermissionArgs());
  raise(view, view.permission, static_cast<ICoreWebView2PermissionRequestedEventArgs*>(args.get()));
}

}  // namespace standin
