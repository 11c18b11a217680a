// Web host start, set-up, the bridge script, restart, and the page policies.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "AppHarness.h"
#include "support/TempDir.h"
#include "app/ShellTexts.h"
#include "web/Bridge.h"

namespace {

struct FailCase {
  const char* name;
  void (*act)(AppHarness&);
  const WChar* text;
};

TEST(WebHost, EveryLaterFailureIsToldAndDestroysTheWindow) {
  const FailCase cases[] = {
      {"environment failed", [](AppHarness& h) { h.web.completeEnvironment(false); }, kTextEnvironmentFailed},
      {"controller refused", [](AppHarness& h) { h.web.createControllerOk = false, h.web.completeAll(); },
       kTextControllerRefused},
      {"controller failed", [](AppHarness& h) { h.web.completeEnvironment(true), h.web.completeController(false); },
       kTextControllerFailed},
      {"runtime too old", [](AppHarness& h) { h.web.controller2 = false, h.web.completeAll(); }, kTextRuntimeTooOld},
      {"script failed",
       [](AppHarness& h) {
         h.web.completeEnvironment(true), h.web.completeController(true), h.web.completeScript(false);
       },
       kTextScriptFailed},
      {"script refused", [](AppHarness& h) { h.web.addScriptOk = false, h.web.completeAll(); }, kTextScriptFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AppHarness h;
    h.windowUp();
    h.app->startWeb();
    c.act(h);
    ASSERT_EQ(h.desk.boxes.size(), 1u);
    EXPECT_EQ(h.desk.boxes[0].text, c.text);
    EXPECT_TRUE(h.desk.boxes[0].owned);
    EXPECT_FALSE(h.desk.windowAlive);
    EXPECT_TRUE(h.app->closing);
    EXPECT_EQ(h.desk.quitCode, 0);
    EXPECT_FALSE(h.desk.visible);
  }
}

TEST(WebHost, CompletionAfterClosingShowsNothing) {
  AppHarness h;
  h.windowUp();
  h.app->startWeb();
  h.app->onClose();
  h.web.completeEnvironment(false);
  EXPECT_TRUE(h.desk.boxes.empty());
  EXPECT_EQ(h.web.createControllerCalls, 0);
}

TEST(WebHost, SetupAppliesSettingsRegistersTheBridgeThenShowsAndLoads) {
  AppHarness h;
  h.web.acceleratorKeysOffered = false;
  h.windowUp();
  h.app->hide();
  h.app->startWeb();
  h.web.completeEnvironment(true);
  h.web.completeController(true);
  const std::vector<std::string> settings = {"background transparent", "zoom 1",       "context menus off",
                                             "status bar off",         "error page off",   "zoom control off",
                                             "dev tools off"};
  EXPECT_EQ(h.web.settings, settings);
  EXPECT_EQ(h.web.registerHandlersCalls, 1);
  ASSERT_EQ(h.web.documentScripts.size(), 1u);
  EXPECT_EQ(h.web.documentScripts[0], documentCreatedScript(h.app->pageUrl, BridgeFlavor{}));
  EXPECT_FALSE(h.desk.visible);
  EXPECT_TRUE(h.web.navigations.empty());

  h.web.completeScript(true);
  EXPECT_EQ(h.web.controllerVisible, true);
  EXPECT_EQ(h.web.navigations, std::vector<WString>{h.app->pageUrl});
  EXPECT_TRUE(h.desk.visible);  // even though the user had hidden it
  EXPECT_EQ(h.app->hideUntil, 0u);
  EXPECT_EQ(h.web.bounds, std::make_pair(1920, 1040));
}

TEST(WebHost, DocumentCreatedScriptWrapsTheBridgeForThePageOnly) {
  const std::string script = toNarrow(documentCreatedScript(toWide("http://127.0.0.1:8080/_desk.html"), {}));
  const std::string head =
      "if (window.top === window && location.href === \"http://127.0.0.1:8080/_desk.html\") "
      "{window.deskShellVersion=\"1.3.0\";window.deskCaps={files:true,lan:5,dirs:true};";
  EXPECT_EQ(script.substr(0, head.size()), head);
  EXPECT_EQ(script.substr(head.size()), bridgeScript(webView2BridgeFlavor()) + "}");
}

TEST(WebHost, ABackendSwapsOnlyTheSendingAndTheFileHandOver) {
  BridgeFlavor gtk;
  gtk.prelude = "var native = window.webkit.messageHandlers.deskNative;";
  gtk.sendExpression = "native.postMessage(JSON.stringify(m))";
  gtk.sendWithFile = "native.postMessage(JSON.stringify(copy));";
  gtk.platformObject = "{ platform: 'linux', native: true }";
  const std::string bridge = bridgeScript(gtk);
  EXPECT_EQ(bridge.find("chrome.webview"), std::string::npos);
  // The prelude captures natives before the page's entry point replaces window.webkit.
  EXPECT_LT(bridge.find(gtk.prelude), bridge.find("window.webkit = "));
  for (const auto& part : {gtk.sendExpression, gtk.sendWithFile, gtk.platformObject})
    EXPECT_NE(bridge.find(part), std::string::npos) << part;
  // Everything else is the same text as the WebView2 bridge.
  const BridgeFlavor wv = webView2BridgeFlavor();
  std::string mine = bridge, shared = bridgeScript(wv);
  auto strip = [](std::string& s, const std::string& part) {
    if (!part.empty()) s.erase(s.find(part), part.size());
  };
  for (const auto& [a, b] : {std::pair{gtk.prelude, std::string()}, {gtk.sendExpression, wv.sendExpression},
                             {gtk.sendWithFile, wv.sendWithFile}, {gtk.platformObject, wv.platformObject}})
    strip(mine, a), strip(shared, b);
  EXPECT_EQ(mine, shared);
}

TEST(WebHost, OfflineDocumentExactly) {
  EXPECT_EQ(toNarrow(offlineDocument()),
            "<html lang='zh-CN'><meta charset='utf-8'><body style='margin:0;background:transparent;font:13px "
            "Microsoft YaHei,sans-serif'><div style='position:fixed;right:16px;bottom:16px;padding:8px "
            "12px;border-radius:10px;background:#403a30cc;color:white'>连不上在线Tamsel，10 "
            "秒后自动重试…</div></body></html>");
}

TEST(WebHost, NavigationPolicy) {
  const struct {
    const char* uri;
    bool allowed, opened;
  } cases[] = {
      {"about:blank", true, false},
      {"http://127.0.0.1:8080/_desk.html", true, false},
      {"HTTP://127.0.0.1:8080/_desk.html", true, false},
      {"http://127.0.0.1:8080/_desk.html?x=1", false, true},
      {"http://127.0.0.1:8080/_desk.html#a", false, true},
      {"http://127.0.0.1:8080/other.html", false, true},
      {"https://elsewhere.example/", false, true},
      {"mailto:someone@example.com", false, false},
      {"", false, false},
      {"data:text/html,<b>x</b>", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uri);
    AppHarness h;
    h.webUp();
    EXPECT_EQ(h.web.fireNavigationStarting(std::string(c.uri)), c.allowed);
    EXPECT_EQ(h.desk.openedAddresses.size(), c.opened ? 1u : 0u);
  }
  // The offline notice's own navigation passes however the runtime names it, once.
  for (const char* notice : {"about:blank", "data:text/html;charset=utf-8,%3Chtml%3E"}) {
    AppHarness h;
    h.webUp();
    h.app->showOffline();
    EXPECT_TRUE(h.web.fireNavigationStarting(std::string(notice))) << notice;
    EXPECT_EQ(h.web.fireNavigationStarting("data:text/html,x"), false) << notice;
  }
}

TEST(WebHost, NewWindowsOpenInTheBrowserAndPermissionsAreDenied) {
  AppHarness h;
  h.webUp();
  h.web.fireNewWindowRequested(toWide("https://x.example/a"));
  h.web.fireNewWindowRequested(WString());
  h.web.fireNewWindowRequested(toWide("javascript:alert(1)"));
  EXPECT_EQ(h.desk.openedAddresses, std::vector<WString>{toWide("https://x.example/a")});
  EXPECT_FALSE(h.web.firePermissionRequested());
}

TEST(WebHost, OfflineNoticeReloadsAfterTenSecondsARendererCrashAfterTwo) {
  for (const bool offline : {true, false}) {
    SCOPED_TRACE(offline ? "offline" : "renderer crash");
    AppHarness h;
    h.webUp();
    if (offline) {
      h.app->hitRects = {{0, 0, 10, 10}};
      h.app->zoneValid = h.app->pressDown = h.app->fileDragging = true;
      h.app->setClickThrough(false);
      h.web.fireNavigationCompleted(false, /*cancelled=*/true);
      h.web.fireNavigationCompleted(true);
      EXPECT_TRUE(h.web.documents.empty());
      h.web.fireNavigationCompleted(false);
      EXPECT_EQ(h.web.documents, std::vector<WString>{offlineDocument()});
      EXPECT_TRUE(h.app->hitRects.empty());
      EXPECT_FALSE(h.app->zoneValid || h.app->pressDown || h.app->fileDragging);
      EXPECT_TRUE(h.desk.clickThrough);
    } else {
      h.web.fireProcessFailed(false);
      EXPECT_TRUE(h.desk.queue.empty());
    }
    const auto loads = h.web.navigations.size();
    h.desk.advance(offline ? 9999 : 1999);
    h.app->onTimer(kTimerActivity);
    EXPECT_EQ(h.web.navigations.size(), loads);
    h.desk.advance(1);
    h.app->onTimer(kTimerIdle);
    EXPECT_EQ(h.web.navigations.size(), loads + 1);
    EXPECT_EQ(h.web.navigations.back(), h.app->pageUrl);
    EXPECT_EQ(h.app->reloadAt, 0u);
  }
}

TEST(WebHost, BrowserExitRestartsTheWholeHostOnTheSameProfile) {
  AppHarness h;
  h.webUp();
  const auto folder = h.web.userDataFolder;
  h.app->hitRects = {{0, 0, 10, 10}};
  h.app->reloadAt = h.desk.tick + 5;
  h.app->setClickThrough(false);
  h.app->hide();

  h.web.fireProcessFailed(true);
  EXPECT_EQ(h.web.createEnvironmentCalls, 1);  // not from inside the failing host's event
  ASSERT_EQ(h.desk.pump(*h.app), 1);
  EXPECT_EQ(h.web.closeControllerCalls, 1);
  EXPECT_EQ(h.web.releaseAllCalls, 1);
  EXPECT_TRUE(h.app->hitRects.empty());
  EXPECT_EQ(h.app->reloadAt, 0u);
  EXPECT_TRUE(h.desk.clickThrough);
  EXPECT_EQ(h.web.createEnvironmentCalls, 2);
  EXPECT_EQ(h.web.userDataFolder, folder);
  EXPECT_EQ(h.web.loadRuntimeCalls, 2);  // idempotent in the backend: the loader stays loaded

  h.web.completeAll();
  EXPECT_EQ(h.web.documentScripts.size(), 2u);
  EXPECT_TRUE(h.desk.visible);
  EXPECT_EQ(h.web.navigations.back(), h.app->pageUrl);
}

TEST(WebHost, RestartWithoutAControllerStartsAfresh) {
  AppHarness h;
  h.windowUp();
  h.app->onPrivateMessage(WM_RESTART_WEB, 0, nullptr);
  EXPECT_EQ(h.web.closeControllerCalls, 0);
  EXPECT_EQ(h.web.createEnvironmentCalls, 1);
}

// The bridge's logic, run in node against a stand-in for the browser (skipped without node).
TEST(WebHost, BridgeBehaviourInAScriptEngine) {
  if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
  TempDir dir("bridge");
  const std::string page = "http://127.0.0.1:8080/_desk.html";
  const auto file = dir / "bridge.js";
  std::ofstream(file, std::ios::binary) << toNarrow(documentCreatedScript(toWide(page), {}));
  const std::string command = "node " + std::string(DESK_SOURCE_DIR) + "/tests/app/bridge_check.js " +
                              file.string() + " " + page;
  EXPECT_EQ(std::system(command.c_str()), 0);
}

}  // namespace
