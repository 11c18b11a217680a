#pragma once
// The WebView2 COM interfaces this shell calls, declared from the public interface reference:
// each interface's IID and its methods in table order. Only what the shell calls is declared
// with its real parameters. A method the shell never calls but that stands before one it does is
// declared without parameters (NOT_CALLED): only its place in the table matters, and nothing
// ever calls through it, so it has a body that answers E_NOTIMPL for any object that does not
// implement it. Methods after the last one called are left out.
//
// The loader library's two exports are at the end.
#include <windows.h>
#include <objbase.h>

struct EventRegistrationToken {
  INT64 value;
};

struct COREWEBVIEW2_COLOR {
  BYTE A;
  BYTE R;
  BYTE G;
  BYTE B;
};

enum COREWEBVIEW2_MOVE_FOCUS_REASON { COREWEBVIEW2_MOVE_FOCUS_REASON_PROGRAMMATIC = 0 };
enum COREWEBVIEW2_WEB_ERROR_STATUS { COREWEBVIEW2_WEB_ERROR_STATUS_OPERATION_CANCELED = 14 };
enum COREWEBVIEW2_PROCESS_FAILED_KIND { COREWEBVIEW2_PROCESS_FAILED_KIND_BROWSER_PROCESS_EXITED = 0 };
enum COREWEBVIEW2_PERMISSION_STATE {
  COREWEBVIEW2_PERMISSION_STATE_DEFAULT = 0,
  COREWEBVIEW2_PERMISSION_STATE_ALLOW = 1,
  COREWEBVIEW2_PERMISSION_STATE_DENY = 2,
};

#define NOT_CALLED(name) \
  virtual HRESULT STDMETHODCALLTYPE name() { return E_NOTIMPL; }

struct ICoreWebView2;
struct ICoreWebView2Controller;
struct ICoreWebView2Environment;

// ---- Completion and event handlers: IUnknown and one Invoke. ----

// ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler (WebView2 1.0)
struct ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler : IUnknown {
  static constexpr GUID iid = {0x4e8a3389, 0xc9d8, 0x4bd2, {0xb6, 0xb5, 0x12, 0x4f, 0xee, 0x6c, 0xc1, 0x4d}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Environment* environment) = 0;
};

// ICoreWebView2CreateCoreWebView2ControllerCompletedHandler (WebView2 1.0)
struct ICoreWebView2CreateCoreWebView2ControllerCompletedHandler : IUnknown {
  static constexpr GUID iid = {0x6c4819f3, 0xc9b7, 0x4260, {0x81, 0x27, 0xc9, 0xf5, 0xbd, 0xe7, 0xf6, 0x8c}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, ICoreWebView2Controller* controller) = 0;
};

// ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler (WebView2 1.0)
struct ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler : IUnknown {
  static constexpr GUID iid = {0xb99369f3, 0x9b11, 0x47b5, {0xbc, 0x6f, 0x8e, 0x78, 0x95, 0xfc, 0xea, 0x17}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(HRESULT errorCode, LPCWSTR id) = 0;
};

// ---- Event arguments. ----

// ICoreWebView2File (WebView2 1.0.1518)
struct ICoreWebView2File : IUnknown {
  static constexpr GUID iid = {0xf2c19559, 0x6bc1, 0x4583, {0xa7, 0x57, 0x90, 0x02, 0x1b, 0xe9, 0xaf, 0xec}};
  virtual HRESULT STDMETHODCALLTYPE get_Path(LPWSTR* path) = 0;
};

// ICoreWebView2ObjectCollectionView (WebView2 1.0.1518)
struct ICoreWebView2ObjectCollectionView : IUnknown {
  static constexpr GUID iid = {0x0f36fd87, 0x4f69, 0x4415, {0x98, 0xda, 0x88, 0x8f, 0x89, 0xfb, 0x9a, 0x33}};
  virtual HRESULT STDMETHODCALLTYPE get_Count(UINT32* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetValueAtIndex(UINT32 index, IUnknown** value) = 0;
};

// ICoreWebView2WebMessageReceivedEventArgs (WebView2 1.0)
struct ICoreWebView2WebMessageReceivedEventArgs : IUnknown {
  static constexpr GUID iid = {0x0f99a40c, 0xe962, 0x4207, {0x9e, 0x92, 0xe3, 0xd5, 0x42, 0xef, 0xf8, 0x49}};
  virtual HRESULT STDMETHODCALLTYPE get_Source(LPWSTR* source) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WebMessageAsJson(LPWSTR* json) = 0;
  NOT_CALLED(TryGetWebMessageAsString);
};

// ICoreWebView2WebMessageReceivedEventArgs2 (WebView2 1.0.1518)
struct ICoreWebView2WebMessageReceivedEventArgs2 : ICoreWebView2WebMessageReceivedEventArgs {
  static constexpr GUID iid = {0x06fc7ab7, 0xc90c, 0x4297, {0x93, 0x89, 0x33, 0xca, 0x01, 0xcf, 0x6d, 0x5e}};
  virtual HRESULT STDMETHODCALLTYPE get_AdditionalObjects(ICoreWebView2ObjectCollectionView** objects) = 0;
};

// ICoreWebView2NavigationStartingEventArgs (WebView2 1.0)
struct ICoreWebView2NavigationStartingEventArgs : IUnknown {
  static constexpr GUID iid = {0x5b495469, 0xe119, 0x438a, {0x9b, 0x18, 0x76, 0x04, 0xf2, 0x5f, 0x2e, 0x49}};
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  NOT_CALLED(get_IsUserInitiated);
  NOT_CALLED(get_IsRedirected);
  NOT_CALLED(get_RequestHeaders);
  NOT_CALLED(get_Cancel);
  virtual HRESULT STDMETHODCALLTYPE put_Cancel(BOOL cancel) = 0;
};

// ICoreWebView2NewWindowRequestedEventArgs (WebView2 1.0)
struct ICoreWebView2NewWindowRequestedEventArgs : IUnknown {
  static constexpr GUID iid = {0x34acb11c, 0xfc37, 0x4418, {0x91, 0x32, 0xf9, 0xc2, 0x1d, 0x1e, 0xaf, 0xb9}};
  virtual HRESULT STDMETHODCALLTYPE get_Uri(LPWSTR* uri) = 0;
  NOT_CALLED(put_NewWindow);
  NOT_CALLED(get_NewWindow);
  virtual HRESULT STDMETHODCALLTYPE put_Handled(BOOL handled) = 0;
};

// ICoreWebView2NavigationCompletedEventArgs (WebView2 1.0)
struct ICoreWebView2NavigationCompletedEventArgs : IUnknown {
  static constexpr GUID iid = {0x30d68b7d, 0x20d9, 0x4752, {0xa9, 0xca, 0xec, 0x84, 0x48, 0xfb, 0xb5, 0xc1}};
  virtual HRESULT STDMETHODCALLTYPE get_IsSuccess(BOOL* success) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WebErrorStatus(COREWEBVIEW2_WEB_ERROR_STATUS* status) = 0;
};

// ICoreWebView2ProcessFailedEventArgs (WebView2 1.0)
struct ICoreWebView2ProcessFailedEventArgs : IUnknown {
  static constexpr GUID iid = {0x8155a9a4, 0x1474, 0x4a86, {0x8c, 0xae, 0x15, 0x1b, 0x0f, 0xa6, 0xb8, 0xca}};
  virtual HRESULT STDMETHODCALLTYPE get_ProcessFailedKind(COREWEBVIEW2_PROCESS_FAILED_KIND* kind) = 0;
};

// ICoreWebView2PermissionRequestedEventArgs (WebView2 1.0)
struct ICoreWebView2PermissionRequestedEventArgs : IUnknown {
  static constexpr GUID iid = {0x973ae2ef, 0xff18, 0x4894, {0x8f, 0xb2, 0x3c, 0x75, 0x8f, 0x04, 0x68, 0x10}};
  NOT_CALLED(get_Uri);
  NOT_CALLED(get_PermissionKind);
  NOT_CALLED(get_IsUserInitiated);
  NOT_CALLED(get_State);
  virtual HRESULT STDMETHODCALLTYPE put_State(COREWEBVIEW2_PERMISSION_STATE state) = 0;
};

// ---- Event handlers: Invoke(sender, args). ----

// ICoreWebView2WebMessageReceivedEventHandler (WebView2 1.0)
struct ICoreWebView2WebMessageReceivedEventHandler : IUnknown {
  static constexpr GUID iid = {0x57213f19, 0x00e6, 0x49fa, {0x8e, 0x07, 0x89, 0x8e, 0xa0, 0x1e, 0xcb, 0xd2}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2WebMessageReceivedEventArgs* args) = 0;
};

// ICoreWebView2NavigationStartingEventHandler (WebView2 1.0)
struct ICoreWebView2NavigationStartingEventHandler : IUnknown {
  static constexpr GUID iid = {0x9adbe429, 0xf36d, 0x432b, {0x9d, 0xdc, 0xf8, 0x88, 0x1f, 0xbd, 0x76, 0xe3}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationStartingEventArgs* args) = 0;
};

// ICoreWebView2NewWindowRequestedEventHandler (WebView2 1.0)
struct ICoreWebView2NewWindowRequestedEventHandler : IUnknown {
  static constexpr GUID iid = {0xd4c185fe, 0xc81c, 0x4989, {0x97, 0xaf, 0x2d, 0x3f, 0xa7, 0xab, 0x56, 0x51}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NewWindowRequestedEventArgs* args) = 0;
};

// ICoreWebView2NavigationCompletedEventHandler (WebView2 1.0)
struct ICoreWebView2NavigationCompletedEventHandler : IUnknown {
  static constexpr GUID iid = {0xd33a35bf, 0x1c49, 0x4f98, {0x93, 0xab, 0x00, 0x6e, 0x05, 0x33, 0xfe, 0x1c}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2NavigationCompletedEventArgs* args) = 0;
};

// ICoreWebView2ProcessFailedEventHandler (WebView2 1.0)
struct ICoreWebView2ProcessFailedEventHandler : IUnknown {
  static constexpr GUID iid = {0x79e0aea4, 0x990b, 0x42d9, {0xaa, 0x1d, 0x0f, 0xcc, 0x2e, 0x5b, 0xc7, 0xf1}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2ProcessFailedEventArgs* args) = 0;
};

// ICoreWebView2PermissionRequestedEventHandler (WebView2 1.0)
struct ICoreWebView2PermissionRequestedEventHandler : IUnknown {
  static constexpr GUID iid = {0x15e1c6a3, 0xc72a, 0x4df3, {0x91, 0xd7, 0xd0, 0x97, 0xfb, 0xec, 0x6b, 0xfd}};
  virtual HRESULT STDMETHODCALLTYPE Invoke(ICoreWebView2* sender, ICoreWebView2PermissionRequestedEventArgs* args) = 0;
};

// ---- The runtime's objects. ----

// ICoreWebView2Settings (WebView2 1.0)
struct ICoreWebView2Settings : IUnknown {
  static constexpr GUID iid = {0xe562e4f0, 0xd7fa, 0x43ac, {0x8d, 0x71, 0xc0, 0x51, 0x50, 0x49, 0x9f, 0x00}};
  NOT_CALLED(get_IsScriptEnabled);
  NOT_CALLED(put_IsScriptEnabled);
  NOT_CALLED(get_IsWebMessageEnabled);
  NOT_CALLED(put_IsWebMessageEnabled);
  NOT_CALLED(get_AreDefaultScriptDialogsEnabled);
  NOT_CALLED(put_AreDefaultScriptDialogsEnabled);
  NOT_CALLED(get_IsStatusBarEnabled);
  virtual HRESULT STDMETHODCALLTYPE put_IsStatusBarEnabled(BOOL enabled) = 0;
  NOT_CALLED(get_AreDevToolsEnabled);
  virtual HRESULT STDMETHODCALLTYPE put_AreDevToolsEnabled(BOOL enabled) = 0;
  NOT_CALLED(get_AreDefaultContextMenusEnabled);
  virtual HRESULT STDMETHODCALLTYPE put_AreDefaultContextMenusEnabled(BOOL enabled) = 0;
  NOT_CALLED(get_AreHostObjectsAllowed);
  NOT_CALLED(put_AreHostObjectsAllowed);
  NOT_CALLED(get_IsZoomControlEnabled);
  virtual HRESULT STDMETHODCALLTYPE put_IsZoomControlEnabled(BOOL enabled) = 0;
  NOT_CALLED(get_IsBuiltInErrorPageEnabled);
  NOT_CALLED(put_IsBuiltInErrorPageEnabled);
};

// ICoreWebView2Settings2 (WebView2 1.0.864)
struct ICoreWebView2Settings2 : ICoreWebView2Settings {
  NOT_CALLED(get_UserAgent);
  NOT_CALLED(put_UserAgent);
};

// ICoreWebView2Settings3 (WebView2 1.0.864)
struct ICoreWebView2Settings3 : ICoreWebView2Settings2 {
  static constexpr GUID iid = {0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};
  NOT_CALLED(get_AreBrowserAcceleratorKeysEnabled);
  virtual HRESULT STDMETHODCALLTYPE put_AreBrowserAcceleratorKeysEnabled(BOOL enabled) = 0;
};

// ICoreWebView2 (WebView2 1.0)
struct ICoreWebView2 : IUnknown {
  static constexpr GUID iid = {0x76eceacb, 0x0462, 0x4d94, {0xac, 0x83, 0x42, 0x3a, 0x67, 0x93, 0x77, 0x5e}};
  virtual HRESULT STDMETHODCALLTYPE get_Settings(ICoreWebView2Settings** settings) = 0;
  NOT_CALLED(get_Source);
  virtual HRESULT STDMETHODCALLTYPE Navigate(LPCWSTR uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE NavigateToString(LPCWSTR html) = 0;
  virtual HRESULT STDMETHODCALLTYPE add_NavigationStarting(ICoreWebView2NavigationStartingEventHandler* handler,
                                                           EventRegistrationToken* token) = 0;
  NOT_CALLED(remove_NavigationStarting);
  NOT_CALLED(add_ContentLoading);
  NOT_CALLED(remove_ContentLoading);
  NOT_CALLED(add_SourceChanged);
  NOT_CALLED(remove_SourceChanged);
  NOT_CALLED(add_HistoryChanged);
  NOT_CALLED(remove_HistoryChanged);
  virtual HRESULT STDMETHODCALLTYPE add_NavigationCompleted(ICoreWebView2NavigationCompletedEventHandler* handler,
                                                            EventRegistrationToken* token) = 0;
  NOT_CALLED(remove_NavigationCompleted);
  NOT_CALLED(add_FrameNavigationStarting);
  NOT_CALLED(remove_FrameNavigationStarting);
  NOT_CALLED(add_FrameNavigationCompleted);
  NOT_CALLED(remove_FrameNavigationCompleted);
  NOT_CALLED(add_ScriptDialogOpening);
  NOT_CALLED(remove_ScriptDialogOpening);
  virtual HRESULT STDMETHODCALLTYPE add_PermissionRequested(ICoreWebView2PermissionRequestedEventHandler* handler,
                                                            EventRegistrationToken* token) = 0;
  NOT_CALLED(remove_PermissionRequested);
  virtual HRESULT STDMETHODCALLTYPE add_ProcessFailed(ICoreWebView2ProcessFailedEventHandler* handler,
                                                      EventRegistrationToken* token) = 0;
  NOT_CALLED(remove_ProcessFailed);
  virtual HRESULT STDMETHODCALLTYPE AddScriptToExecuteOnDocumentCreated(
      LPCWSTR javaScript, ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler* handler) = 0;
  NOT_CALLED(RemoveScriptToExecuteOnDocumentCreated);
  // The completion handler is always null here, so its type is left opaque.
  virtual HRESULT STDMETHODCALLTYPE ExecuteScript(LPCWSTR javaScript, IUnknown* handler) = 0;
  NOT_CALLED(CapturePreview);
  NOT_CALLED(Reload);
  NOT_CALLED(PostWebMessageAsJson);
  NOT_CALLED(PostWebMessageAsString);
  virtual HRESULT STDMETHODCALLTYPE add_WebMessageReceived(ICoreWebView2WebMessageReceivedEventHandler* handler,
                                                           EventRegistrationToken* token) = 0;
  NOT_CALLED(remove_WebMessageReceived);
  NOT_CALLED(CallDevToolsProtocolMethod);
  NOT_CALLED(get_BrowserProcessId);
  NOT_CALLED(get_CanGoBack);
  NOT_CALLED(get_CanGoForward);
  NOT_CALLED(GoBack);
  NOT_CALLED(GoForward);
  NOT_CALLED(GetDevToolsProtocolEventReceiver);
  NOT_CALLED(Stop);
  virtual HRESULT STDMETHODCALLTYPE add_NewWindowRequested(ICoreWebView2NewWindowRequestedEventHandler* handler,
                                                           EventRegistrationToken* token) = 0;
};

// ICoreWebView2Controller (WebView2 1.0)
struct ICoreWebView2Controller : IUnknown {
  static constexpr GUID iid = {0x4d00c0d1, 0x9434, 0x4eb6, {0x80, 0x78, 0x86, 0x97, 0xa5, 0x60, 0x33, 0x4f}};
  NOT_CALLED(get_IsVisible);
  virtual HRESULT STDMETHODCALLTYPE put_IsVisible(BOOL visible) = 0;
  NOT_CALLED(get_Bounds);
  virtual HRESULT STDMETHODCALLTYPE put_Bounds(RECT bounds) = 0;
  NOT_CALLED(get_ZoomFactor);
  virtual HRESULT STDMETHODCALLTYPE put_ZoomFactor(double zoomFactor) = 0;
  NOT_CALLED(add_ZoomFactorChanged);
  NOT_CALLED(remove_ZoomFactorChanged);
  NOT_CALLED(SetBoundsAndZoomFactor);
  virtual HRESULT STDMETHODCALLTYPE MoveFocus(COREWEBVIEW2_MOVE_FOCUS_REASON reason) = 0;
  NOT_CALLED(add_MoveFocusRequested);
  NOT_CALLED(remove_MoveFocusRequested);
  NOT_CALLED(add_GotFocus);
  NOT_CALLED(remove_GotFocus);
  NOT_CALLED(add_LostFocus);
  NOT_CALLED(remove_LostFocus);
  NOT_CALLED(add_AcceleratorKeyPressed);
  NOT_CALLED(remove_AcceleratorKeyPressed);
  NOT_CALLED(get_ParentWindow);
  NOT_CALLED(put_ParentWindow);
  virtual HRESULT STDMETHODCALLTYPE NotifyParentWindowPositionChanged() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CoreWebView2(ICoreWebView2** webView) = 0;
};

// ICoreWebView2Controller2 (WebView2 1.0.774)
struct ICoreWebView2Controller2 : ICoreWebView2Controller {
  static constexpr GUID iid = {0xc979903e, 0xd4ca, 0x4228, {0x92, 0xeb, 0x47, 0xee, 0x3f, 0xa9, 0x6e, 0xab}};
  NOT_CALLED(get_DefaultBackgroundColor);
  virtual HRESULT STDMETHODCALLTYPE put_DefaultBackgroundColor(COREWEBVIEW2_COLOR color) = 0;
};

// ICoreWebView2Environment (WebView2 1.0)
struct ICoreWebView2Environment : IUnknown {
  static constexpr GUID iid = {0xb96d755e, 0x0319, 0x4e92, {0xa2, 0x96, 0x23, 0x43, 0x6f, 0x46, 0xa1, 0xfc}};
  virtual HRESULT STDMETHODCALLTYPE CreateCoreWebView2Controller(
      HWND parentWindow, ICoreWebView2CreateCoreWebView2ControllerCompletedHandler* handler) = 0;
};

#undef NOT_CALLED

// ---- The loader library's exports. ----

// The environment options are always null here, so their type is left opaque.
using CreateCoreWebView2EnvironmentWithOptionsFn =
    HRESULT(STDAPICALLTYPE*)(PCWSTR browserExecutableFolder, PCWSTR userDataFolder, IUnknown* environmentOptions,
                             ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* handler);
using GetAvailableCoreWebView2BrowserVersionStringFn = HRESULT(STDAPICALLTYPE*)(PCWSTR browserExecutableFolder,
                                                                                LPWSTR* versionInfo);
