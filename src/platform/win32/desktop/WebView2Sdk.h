#pragma once
// The WebView2 SDK's interfaces, as the shell includes them. MIDL's headers declare each IID as
// IID_<interface> but register none for MinGW's __uuidof, so the interfaces the shell asks an
// object for, or implements as a Handler, name theirs to ComRef here.
#include <windows.h>

#include <WebView2.h>

#include "ComRef.h"

#define DESK_WEBVIEW2_IID(name) \
  template <>                   \
  inline const IID& iidOf<name>() { return IID_##name; }

DESK_WEBVIEW2_IID(ICoreWebView2Controller2)
DESK_WEBVIEW2_IID(ICoreWebView2Settings3)
DESK_WEBVIEW2_IID(ICoreWebView2WebMessageReceivedEventArgs2)
DESK_WEBVIEW2_IID(ICoreWebView2File)
DESK_WEBVIEW2_IID(ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler)
DESK_WEBVIEW2_IID(ICoreWebView2CreateCoreWebView2ControllerCompletedHandler)
DESK_WEBVIEW2_IID(ICoreWebView2AddScriptToExecuteOnDocumentCreatedCompletedHandler)
DESK_WEBVIEW2_IID(ICoreWebView2WebMessageReceivedEventHandler)
DESK_WEBVIEW2_IID(ICoreWebView2NavigationStartingEventHandler)
DESK_WEBVIEW2_IID(ICoreWebView2NewWindowRequestedEventHandler)
DESK_WEBVIEW2_IID(ICoreWebView2NavigationCompletedEventHandler)
DESK_WEBVIEW2_IID(ICoreWebView2ProcessFailedEventHandler)
DESK_WEBVIEW2_IID(ICoreWebView2PermissionRequestedEventHandler)

#undef DESK_WEBVIEW2_IID

// The loader library's two exports, looked up by name.
using CreateCoreWebView2EnvironmentWithOptionsFn = decltype(&CreateCoreWebView2EnvironmentWithOptions);
using GetAvailableCoreWebView2BrowserVersionStringFn = decltype(&GetAvailableCoreWebView2BrowserVersionString);
