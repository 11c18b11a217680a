#include "web/Bridge.h"

#include "common/version.h"
#include "common/json.h"

BridgeFlavor webView2BridgeFlavor() {
  BridgeFlavor flavor;
  flavor.prelude = "";
  flavor.sendExpression = "window.chrome.webview.postMessage(m)";
  flavor.sendWithFile =
      "if (window.chrome.webview.postMessageWithAdditionalObjects) "
      "window.chrome.webview.postMessageWithAdditionalObjects(copy, [file]); "
      "else window.chrome.webview.postMessage(copy);";
  flavor.platformObject = "{ platform: 'win32', native: true }";
  return flavor;
}

std::string bridgeScript(const BridgeFlavor& given) {
  const BridgeFlavor fallback = webView2BridgeFlavor();
  const std::string& sendExpression = given.sendExpression.empty() ? fallback.sendExpression : given.sendExpression;
  const std::string& sendWithFile = given.sendWithFile.empty() ? fallback.sendWithFile : given.sendWithFile;
  const std::string& platformObject = given.platformObject.empty() ? fallback.platformObject : given.platformObject;

  std::string s;
  s += "(function () {";
  s += "if (window.top !== window) return;";
  s += given.prelude;
  // One focus request per pointer press or window blur, and none while the page has the keyboard.
  s += "var focusRequested = false;";
  s += "var send = function (m) { " + sendExpression + "; };";
  s += "var sendWithFile = function (copy, file) { " + sendWithFile + " };";
  s += "var post = function (message) {";
  s += "var t = message && message.t;";
  s += "if (t === 'lanOpen' && typeof File !== 'undefined' && message.file instanceof File) {";
  s += "var copy = Object.assign({}, message); var file = copy.file; delete copy.file;";
  s += "sendWithFile(copy, file); return; }";
  s += "if (t === 'hits') { send(Object.assign({}, message, { scale: window.devicePixelRatio })); return; }";
  s += "if (t === 'inputFocus') {";
  s += "if (message.target === 'game') { var frame = document.querySelector('.dgwin iframe');";
  s += "if (frame && frame !== document.activeElement) frame.focus({ preventScroll: true }); }";
  s += "if (document.hasFocus() || focusRequested) return;";
  s += "focusRequested = true; }";
  s += "send(message); };";
  // Where the engine defines window.webkit itself, a plain assignment may not take.
  s += "var entry = { messageHandlers: { desk: { postMessage: post } } };";
  s += "try { window.webkit = entry; } catch (e) {}";
  s += "if (window.webkit !== entry) { try { Object.defineProperty(window, 'webkit', "
       "{ value: entry, configurable: true, writable: true }); } catch (e) {} }";
  s += "window.deskShell = " + platformObject + ";";
  s += "window.addEventListener('pointerdown', function () { focusRequested = false; send({ t: 'press', down: true }); }, true);";
  s += "window.addEventListener('pointerup', function () { send({ t: 'press', down: false }); }, true);";
  s += "window.addEventListener('pointercancel', function () { send({ t: 'press', down: false }); }, true);";
  s += "window.addEventListener('blur', function () { focusRequested = false; send({ t: 'press', down: false }); });";
  s += "})();";
  return s;
}

WString documentCreatedScript(const WString& pageUrl, const BridgeFlavor& flavor) {
  WString script = DESK_W("if (window.top === window && location.href === ");
  script += scriptString(toNarrow(pageUrl));
  script += DESK_W(") {window.deskShellVersion=");
  script += scriptString(kShellVersion);
  script += DESK_W(";window.deskCaps={files:true,lan:5,dirs:true};");
  script += toWide(bridgeScript(flavor));
  script += DESK_W("}");
  return script;
}

const WString& offlineDocument() {
  static const WString document = DESK_W(
      "<html lang='zh-CN'><meta charset='utf-8'><body style='margin:0;background:transparent;"
      "font:13px Microsoft YaHei,sans-serif'><div style='position:fixed;right:16px;bottom:16px;"
      "padding:8px 12px;border-radius:10px;background:#403a30cc;color:white'>"
      "连不上在线Tamsel，10 秒后自动重试…</div></body></html>");
  return document;
}
