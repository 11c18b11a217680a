#pragma once
// The stand-in's controller and web view: one pair per CreateCoreWebView2Controller. The view
// keeps the handlers the shell registers and raises their events when a navigation runs or a
// test asks (see Commands.cpp).
#include <string>
#include <vector>

#include "ComRef.h"
#include "StandIn.h"

namespace standin {

class WebView;

// Creates a controller hosted in parent, with its view; the creator holds the one reference.
ICoreWebView2Controller* newController(HWND parent);

// The live view that test commands address, or none.
WebView* currentView();

// Raised by the test commands.
void raiseWebMessage(WebView& view, const std::wstring& source, const std::wstring& json, const std::wstring& file);
void startNavigation(WebView& view, const std::wstring& uri);
void raiseNewWindow(WebView& view, const std::wstring& uri);
void raiseCompleted(WebView& view, bool success, int status);
void raiseProcessFailed(WebView& view, int kind);
void raisePermission(WebView& view);
// While offline, navigations to web addresses complete as unreachable.
void setOffline(bool offline);

}  // namespace standin
