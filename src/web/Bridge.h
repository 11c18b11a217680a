#pragma once
// The script the web view runs at the creation of every document, and the offline notice.
//
// The bridge gives the desk page its one entry point to the shell,
// window.webkit.messageHandlers.desk.postMessage(message), and reports pointer presses and
// window blur. Its logic is written once here; a backend only supplies a BridgeFlavor: how a
// message is sent (sendExpression), how a "lanOpen" message hands over its File (sendWithFile),
// what it must capture first (prelude) and the platform object the page sees as
// window.deskShell. Empty fields take the WebView2 form.
#include <string>

#include "common/text.h"
#include "web/WebHost.h"

// The WebView2 form: window.chrome.webview.postMessage, the File as an additional object.
BridgeFlavor webView2BridgeFlavor();

// The bridge itself (UTF-8 JavaScript), with empty flavour fields filled from webView2BridgeFlavor().
std::string bridgeScript(const BridgeFlavor& flavor);

// Runs the bridge only in the top-level document whose address is exactly pageUrl, after setting
// window.deskShellVersion and window.deskCaps.
WString documentCreatedScript(const WString& pageUrl, const BridgeFlavor& flavor);

// The notice shown while the desk page cannot be loaded.
const WString& offlineDocument();
