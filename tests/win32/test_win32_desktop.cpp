// tamsel-desk.exe under Wine with the stand-in WebView2 runtime: start-up and its failure boxes,
// the window, click-through, the tray menu, the page policies and the page messages' services,
// seen from outside as a user would see them (the window's state, the registry, the browser
// hand-off, the files, the scripts the page was given).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "DeskSign.h"
#include "WineShell.h"
#include "app/ShellTexts.h"
#include "update/UpdateKey.h"
#include "common/text.h"
#include "common/version.h"
#include "support/DeskServer.h"
#include "support/TricklingPeer.h"
#include "update/UpdateRig.h"

namespace {

constexpr unsigned kExTopmost = 0x8;
constexpr unsigned kExTransparent = 0x20;
constexpr unsigned kExToolWindow = 0x80;
constexpr unsigned kExLayered = 0x80000;
constexpr unsigned kExNoActivate = 0x8000000;
constexpr unsigned kTrayNotify = 0x8001;
constexpr unsigned kTrayRightUp = 0x205;
constexpr unsigned kTrayContextMenu = 0x7B;  // what version 4 sends after the button's release
constexpr unsigned kTraySelect = 0x400;

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}


class WineDesktopTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (WineSession::missing().empty()) session_ = std::make_unique<WineSession>();
  }
  static void TearDownTestSuite() { session_.reset(); }

  void SetUp() override {
    const std::string missing = WineSession::missing();
    if (!missing.empty()) GTEST_SKIP() << "Wine tests skipped: " << missing;
    if (!session_ || !session_->ok()) GTEST_SKIP() << "Wine tests skipped: the Wine prefix could not be made";
    shell_ = std::make_unique<WineShell>(*session_);
  }

  std::string pageUrl() const { return server_.origin() + "/_desk.html"; }

  // Starts the shell against the test server and waits until its window shows.
  bool startHealthy() {
    return shell_->start({true, "", {"--server=" + server_.origin()}}) &&
           waitUntil([&] { return window().value("visible", false); }, 30000);
  }
  Json window() const { return shell_->probe({"window"}); }
  unsigned exStyle() const { return window().value("exstyle", 0u); }
  void pageMessage(const std::string& json, const std::string& file = {}) {
    shell_->command({"message", pageUrl(), json, file});
  }
  bool scriptRan(const std::string& script, int timeoutMs = 8000) const {
    return waitUntil([&] { return contains(shell_->calls(), "ExecuteScript " + script); }, timeoutMs);
  }
  // Opens the tray menu as the notification area does and returns its items as the stand-in
  // read them ("ID:TEXT:CHECKED"); then picks one (0 closes the menu, -1 leaves it open).
  std::vector<std::string> trayMenu(int pick) {
    const std::size_t seen = shell_->calls("menu ").size();
    // One right click, as the notification area reports it; the menu opens once.
    for (unsigned notice : {kTrayRightUp, kTrayContextMenu})
      shell_->probe({"post", std::to_string(kTrayNotify), "0", std::to_string(notice)});
    std::vector<std::string> items;
    // A pick sent before the menu is open would go nowhere: it waits for the menu.
    const bool open = waitUntil(
        [&] {
          shell_->command({"menu"});
          const auto menus = shell_->calls("menu ");
          for (std::size_t i = seen; i < menus.size(); ++i) {
            if (menus[i] != "menu none") {
              items = splitItems(menus[i].substr(5));
              return true;
            }
          }
          return false;
        },
        30000);
    if (open && pick >= 0) shell_->command({"pick", std::to_string(pick)});
    return items;
  }
  static std::vector<std::string> splitItems(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t bar; (bar = text.find('|', start)) != std::string::npos; start = bar + 1) {
      items.push_back(text.substr(start, bar - start));
    }
    items.push_back(text.substr(start));
    return items;
  }
  std::string autostartValue() const {
    return session_->run({"reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v",
                          "TamselDeskNative"});
  }

  static std::unique_ptr<WineSession> session_;
  DeskServer server_;
  std::unique_ptr<WineShell> shell_;
};

std::unique_ptr<WineSession> WineDesktopTest::session_;

TEST_F(WineDesktopTest, EveryStartFailureIsExplainedInABox) {
  struct Case {
    int loader;  // 0 none, 1 the stand-in, 2 the SDK's, which finds no Edge runtime under Wine
    const char* fail;
    const WChar* text;
    int answer;  // IDOK 1, IDYES 6, IDNO 7
    int exitCode;
  };
  // Failures inside start-up end with 1; those reported by a completion come through the
  // running loop, which ends normally.
  const Case cases[] = {
      {false, "", kTextLoaderMissing, 1, 1},
      {true, "version", kTextNoRuntime, 7, 1},
      {true, "version", kTextNoRuntime, 6, 1},
      {true, "no-version", kTextNoRuntime, 7, 1},
      {2, "", kTextNoRuntime, 7, 1},
      {2, "", kTextNoRuntime, 6, 1},
      {true, "environment-refused", kTextEnvironmentRefused, 1, 1},
      {true, "environment", kTextEnvironmentFailed, 1, 0},
      {true, "controller-refused", kTextControllerRefused, 1, 0},
      {true, "controller", kTextControllerFailed, 1, 0},
      {true, "controller2", kTextRuntimeTooOld, 1, 0},
      {true, "script", kTextScriptFailed, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.fail) + " loader " + std::to_string(c.loader));
    WineShell shell(*session_);
    ASSERT_TRUE(shell.start({c.loader != 0, c.fail, {"--server=" + server_.origin()}},
                            c.loader == 2 ? win64File("src/platform/win32/desktop/WebView2Loader.dll") : ""));
    Json box;
    ASSERT_TRUE(waitUntil([&] { return (box = shell.probe({"box"})).value("open", false); }, 30000));
    EXPECT_EQ(box.value("text", ""), toNarrow(c.text));
    EXPECT_NE(shell.standardError().find(toNarrow(c.text)), std::string::npos);
    shell.probe({"answer", std::to_string(c.answer)});
    EXPECT_EQ(shell.wait(20000), c.exitCode);
    EXPECT_TRUE(shell.calls("Navigate ").empty());
  }
  // Only the Yes answers opened the runtime's download page, one each.
  EXPECT_TRUE(waitUntil(
      [&] {
        const auto browsed = session_->browsed();
        return std::count(browsed.begin(), browsed.end(),
                          "https://developer.microsoft.com/microsoft-edge/webview2/#download-section") == 2;
      },
      10000));
}

TEST_F(WineDesktopTest, TheWindowCoversTheWorkAreaOnTopAndASecondStartShowsIt) {
  ASSERT_TRUE(startHealthy());
  const Json shown = window();
  const unsigned style = shown.value("exstyle", 0u);
  for (unsigned bit : {kExTopmost, kExTransparent, kExToolWindow, kExLayered, kExNoActivate}) {
    EXPECT_TRUE(style & bit) << std::hex << bit;
  }
  EXPECT_EQ(shown["rect"], shown["work"]);

  // The web view as the shell set it up: transparent, no browser chrome, every handler, the
  // bridge for exactly the desk page, then the page itself.
  for (const char* call : {"put_DefaultBackgroundColor 0 0 0 0", "put_ZoomFactor 1.000000",
                           "put_AreDefaultContextMenusEnabled 0", "put_IsStatusBarEnabled 0",
                           "put_IsZoomControlEnabled 0", "put_AreBrowserAcceleratorKeysEnabled 0",
                           "put_AreDevToolsEnabled 0", "add_WebMessageReceived", "add_NavigationStarting",
                           "add_NewWindowRequested", "add_NavigationCompleted", "add_ProcessFailed",
                           "add_PermissionRequested", "put_IsVisible 1"}) {
    EXPECT_TRUE(contains(shell_->calls(), call)) << call;
  }
  const auto script = shell_->calls("AddScriptToExecuteOnDocumentCreated ");
  ASSERT_EQ(script.size(), 1u);
  EXPECT_NE(script[0].find("location.href === \"" + pageUrl() + "\""), std::string::npos);
  EXPECT_NE(script[0].find("window.chrome.webview.postMessage"), std::string::npos);
  EXPECT_EQ(shell_->calls("Navigate "), std::vector<std::string>{"Navigate " + pageUrl()});
  EXPECT_NE(shell_->calls("CreateCoreWebView2EnvironmentWithOptions ")[0].find("TamselDeskNative\\WebView2 background=00000000"),
            std::string::npos);

  // Any program may post the private messages; one that carries no payload of this process's
  // own is handled without one, never taken for a pointer.
  for (const char* message : {"0x8004", "0x8006", "0x8007"}) shell_->probe({"post", message, "0", "123456789"});
  shell_->probe({"post", "0x8005", "1", "0"});
  EXPECT_TRUE(scriptRan("window.deskUpdateState && window.deskUpdateState('latest')"));
  EXPECT_TRUE(shell_->process().running());

  // A new screen layout places the web view again; a short hide ends by itself.
  const std::size_t placed = shell_->calls("put_Bounds ").size();
  shell_->probe({"post", "0x7E", "32", "0"});  // WM_DISPLAYCHANGE
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("put_Bounds ").size() > placed; }, 10000));
  // Each probe is a Wine process of its own, slower than the hide on a busy machine: the page
  // losing its focus says the hide happened, the window showing again that it ended.
  const auto blurs = [&] { return shell_->calls("ExecuteScript document.activeElement?.blur()").size(); };
  const std::size_t blurred = blurs();
  pageMessage(R"({"t":"hide","ms":100})");
  ASSERT_TRUE(waitUntil([&] { return blurs() > blurred; }, 30000));
  EXPECT_TRUE(waitUntil([&] { return window().value("visible", false); }, 30000));

  // Hidden by the page for ten minutes, shown again at once by a second start, which ends.
  pageMessage(R"({"t":"hide","ms":600000})");
  ASSERT_TRUE(waitUntil([&] { return !window().value("visible", true); }, 10000));
  WineShell second(*session_);
  ASSERT_TRUE(second.start({true, "", {"--server=http://127.0.0.1:1"}}));
  EXPECT_EQ(second.wait(20000), 0);
  EXPECT_TRUE(second.calls().empty()) << "the second start loaded the runtime";
  EXPECT_TRUE(waitUntil([&] { return window().value("visible", false); }, 10000));
}

TEST_F(WineDesktopTest, ShapesTakeTheMouseAndTheRestLetsItThrough) {
  ASSERT_TRUE(startHealthy());
  ASSERT_TRUE(shell_->pointer(700, 600));
  pageMessage(R"({"t":"hits","rects":[[100,100,50,50]],"zone":[80,80,100,100],"scale":1})");

  // Over a shape: the window takes the mouse, and the zone reports the hover.
  ASSERT_TRUE(shell_->pointer(120, 120));
  ASSERT_TRUE(waitUntil([&] { return (exStyle() & (kExTransparent | kExNoActivate)) == 0; }, 10000));
  EXPECT_EQ(shell_->probe({"at", "120", "120"}).value("class", ""), "TamselDeskNativeWindow");
  EXPECT_TRUE(scriptRan("window.deskHover?.(true)"));

  // Inside the zone but off the shape's margin: through again; out of the zone: hover ends.
  ASSERT_TRUE(shell_->pointer(170, 170));
  ASSERT_TRUE(waitUntil([&] { return (exStyle() & (kExTransparent | kExNoActivate)) != 0; }, 10000));
  EXPECT_NE(shell_->probe({"at", "170", "170"}).value("class", ""), "TamselDeskNativeWindow");
  ASSERT_TRUE(shell_->pointer(600, 500));
  EXPECT_TRUE(scriptRan("window.deskHover?.(false)"));

  // Activity every two seconds and idle time every five, as the page hears them; a locked
  // session is reported as such until it is unlocked.
  EXPECT_TRUE(scriptRan("window.deskAct?.('mouse')"));
  shell_->probe({"post", "0x2B1", "7", "0"});  // WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK
  EXPECT_TRUE(scriptRan("window.deskAct?.('lock')"));
  shell_->probe({"post", "0x2B1", "8", "0"});
  ASSERT_TRUE(shell_->pointer(610, 510));
  EXPECT_TRUE(waitUntil(
      [&] { return shell_->calls("ExecuteScript window.deskAct?.(").back() == "ExecuteScript window.deskAct?.('mouse')"; },
      8000));
  EXPECT_TRUE(waitUntil([&] { return !shell_->calls("ExecuteScript window.deskIdle?.(").empty(); }, 12000));
}

TEST_F(WineDesktopTest, TrayMenuCommands) {
  ASSERT_TRUE(startHealthy());
  // One monitor: no next-screen item. Closed without a choice, nothing happens.
  EXPECT_EQ(trayMenu(0), (std::vector<std::string>{"100:藏起来 1 小时:0", "102:打开在线Tamsel网页:0", "101:重新加载:0",
                                                   "0::0", "103:开机自动打开:0", "0::0", "104:退出:0"}));
  EXPECT_TRUE(window().value("visible", false));

  // Start at log-on: the Run value with the quoted program, then gone again.
  trayMenu(103);
  ASSERT_TRUE(waitUntil([&] { return autostartValue().find("tamsel-desk.exe\"") != std::string::npos; }, 10000));
  EXPECT_NE(autostartValue().find("REG_SZ    \"" + shell_->windowsPath(shell_->folder() / "app" / "tamsel-desk.exe")),
            std::string::npos);
  EXPECT_EQ(trayMenu(103).at(4), "103:开机自动打开:1");
  ASSERT_TRUE(waitUntil([&] { return autostartValue().find("TamselDeskNative") == std::string::npos; }, 10000));
  // Switched off in Task Manager, the entry stays but Windows will not start it: no tick, and
  // turning it on clears that mark.
  const std::string approved = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run";
  trayMenu(103);
  ASSERT_TRUE(waitUntil([&] { return autostartValue().find("tamsel-desk.exe\"") != std::string::npos; }, 10000));
  session_->run({"reg", "add", approved, "/v", "TamselDeskNative", "/t", "REG_BINARY", "/d", "030000000000000000000000", "/f"});
  EXPECT_EQ(trayMenu(103).at(4), "103:开机自动打开:0");  // picking it turns it on again
  EXPECT_TRUE(waitUntil([&] { return session_->run({"reg", "query", approved}).find("TamselDeskNative") == std::string::npos; }, 10000));
  EXPECT_EQ(trayMenu(103).at(4), "103:开机自动打开:1");
  ASSERT_TRUE(waitUntil([&] { return autostartValue().find("TamselDeskNative") == std::string::npos; }, 10000));

  // The web site in the browser; the page loaded again.
  trayMenu(102);
  EXPECT_TRUE(waitUntil([&] { return contains(session_->browsed(), server_.origin() + "/"); }, 10000));
  trayMenu(101);
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("Navigate ").size() == 2; }, 10000));

  // Hidden for an hour; a click on the icon brings it back.
  trayMenu(100);
  ASSERT_TRUE(waitUntil([&] { return !window().value("visible", true); }, 10000));
  shell_->probe({"post", std::to_string(kTrayNotify), "0", std::to_string(kTraySelect)});
  ASSERT_TRUE(waitUntil([&] { return window().value("visible", false); }, 10000));

  trayMenu(104);
  EXPECT_EQ(shell_->wait(20000), 0);
}

TEST_F(WineDesktopTest, PagePolicies) {
  ASSERT_TRUE(startHealthy());
  ASSERT_TRUE(waitUntil([&] { return !shell_->calls("Navigate ").empty(); }, 10000));

  // Elsewhere: cancelled and handed to the browser; a new window never opens.
  shell_->command({"navigate", "https://example.invalid/elsewhere"});
  shell_->command({"navigate", pageUrl() + "?again=1"});
  shell_->command({"new-window", "https://example.invalid/new"});
  shell_->command({"new-window", "mailto:someone@example.invalid"});
  ASSERT_TRUE(waitUntil([&] { return shell_->calls("put_Handled 1").size() == 2; }, 10000));
  EXPECT_TRUE(contains(shell_->calls(), "put_Cancel 1 https://example.invalid/elsewhere"));
  EXPECT_TRUE(contains(shell_->calls(), "put_Cancel 1 " + pageUrl() + "?again=1"));
  for (const char* address : {"https://example.invalid/elsewhere", "https://example.invalid/new"}) {
    EXPECT_TRUE(waitUntil([&] { return contains(session_->browsed(), address); }, 10000)) << address;
  }
  EXPECT_FALSE(contains(session_->browsed(), "mailto:someone@example.invalid"));

  // Every permission is denied.
  shell_->command({"permission"});
  EXPECT_TRUE(waitUntil([&] { return contains(shell_->calls(), "put_State 2"); }, 10000));

  // Unreachable: the notice, every click through, and the page again once the server answers.
  shell_->command({"offline", "on"});
  shell_->command({"complete", "fail"});
  ASSERT_TRUE(waitUntil([&] { return !shell_->calls("NavigateToString ").empty(); }, 10000));
  EXPECT_NE(shell_->calls("NavigateToString ")[0].find("连不上在线Tamsel，10 秒后自动重试…"), std::string::npos);
  EXPECT_TRUE(exStyle() & kExTransparent);
  shell_->command({"offline", "off"});
  const std::size_t loads = shell_->calls("Navigate ").size();
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("Navigate ").size() > loads; }, 16000));

  // A renderer failure reloads the page; a browser failure rebuilds the whole host.
  const std::size_t before = shell_->calls("Navigate ").size();
  shell_->command({"process-failed", "renderer"});
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("Navigate ").size() > before; }, 8000));
  shell_->command({"process-failed", "browser"});
  ASSERT_TRUE(waitUntil([&] { return shell_->calls("CreateCoreWebView2EnvironmentWithOptions ").size() == 2; }, 10000));
  EXPECT_TRUE(contains(shell_->calls(), "Close"));
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("AddScriptToExecuteOnDocumentCreated ").size() == 2; }, 10000));
  EXPECT_TRUE(window().value("visible", false));
}

TEST_F(WineDesktopTest, PageMessagesReachTheirServices) {
  const std::string content = "Hello from the desk server\n";
  server_.setRoute("/desk-file/0123456789abcdef0123456789abcdef", 200, content, "text/plain");
  // A signed manifest of a newer version, with the installer it names.
  const auto key = std::filesystem::path(DESK_SOURCE_DIR) / "tests/keys/TEST-ONLY-release-key.pem";
  std::string error;
  const auto pub = desksign::publicKeyOf(key, error);
  const bool testKey = pub && pub->x == updateKeyX() && pub->y == updateKeyY();
  const auto installer = shell_->folder() / "TamselDesk Setup.exe";
  std::ofstream(installer, std::ios::binary) << "MZ not really a program";
  if (testKey) {
    const auto manifest = desksign::makeManifest(key, "1.4.0", installer, "TamselDesk Setup.exe", error);
    ASSERT_TRUE(manifest) << error;
    server_.setRoute("/desk-update.json", 200, *manifest, "application/json");
    server_.setRoute("/download/TamselDesk Setup.exe", 200, "MZ not really a program");
  }
  ASSERT_TRUE(startHealthy());

  // From a document other than the desk page: nothing happens.
  shell_->command({"message", pageUrl() + "?x=1", R"({"t":"fileGet","id":"a1","url":")" + server_.origin() +
                                                       R"(/desk-file/0123456789abcdef0123456789abcdef","name":"a.txt"})"});
  pageMessage(R"({"t":"fileGet","id":"f1","url":")" + server_.origin() +
              R"(/desk-file/0123456789abcdef0123456789abcdef","name":"hello.txt","how":"save"})");
  ASSERT_TRUE(waitUntil([&] { return !shell_->calls("ExecuteScript window.deskFileDone").empty(); }, 20000));
  const std::string done = shell_->calls("ExecuteScript window.deskFileDone")[0];
  EXPECT_NE(done.find("\"id\":\"f1\""), std::string::npos) << done;
  EXPECT_NE(done.find("\"ok\":true"), std::string::npos) << done;
  EXPECT_EQ(server_.requestCount("/desk-file/0123456789abcdef0123456789abcdef"), 1u);
  const auto saved = session_->userFolder("Downloads") / "hello.txt";
  std::ifstream in(saved, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), content);
  // Marked as coming from the Internet. Wine keeps no alternate data streams: the stream it was
  // asked for lies beside the file under the stream's full name.
  std::ifstream mark(saved.string() + ":Zone.Identifier", std::ios::binary);
  const std::string zone((std::istreambuf_iterator<char>(mark)), std::istreambuf_iterator<char>());
  EXPECT_NE(zone.find("ZoneId=3"), std::string::npos) << zone;

  if (!testKey) GTEST_SKIP() << "built with a release key: no signed update to check";
  pageMessage(R"({"t":"updateCheck","manual":true})");
  EXPECT_TRUE(scriptRan("window.deskUpdateReady && window.deskUpdateReady(\"1.4.0\")", 20000));
}

// A LAN fetch from a Linux desk-lan, inside the network namespace tests/netns-run makes.
TEST_F(WineDesktopTest, LanFetchFromALinuxPeer) {
  if (std::string(getenv("DESK_NETNS") ? getenv("DESK_NETNS") : "") != "inside") {
    GTEST_SKIP() << "LAN traffic only inside a network namespace (the win32_desktop_lan test)";
  }
  const std::string id = "0123456789abcdef0123456789abcdef";
  const std::string key(64, 'a');
  std::string plain;
  for (int i = 0; i < 300000; ++i) plain += static_cast<char>('a' + i % 23);
  const auto offered = shell_->folder() / "offered.bin";
  std::ofstream(offered, std::ios::binary) << plain;
  ChildProcess peer;
  const auto printed = shell_->folder() / "desk-lan.txt";
  ASSERT_TRUE(peer.start({DESK_LAN_TOOL, "offer", offered.string(), "--id", id, "--key", key}, {}, printed.string()));
  std::string url;
  ASSERT_TRUE(waitUntil(
      [&] {
        std::ifstream in(printed);
        for (std::string line; std::getline(in, line);) {
          const std::size_t at = line.find("url http://10.213.0.");
          if (at != std::string::npos) url = line.substr(at + 4);
        }
        return !url.empty();
      },
      10000));

  ASSERT_TRUE(startHealthy());
  pageMessage(R"({"t":"lanGet","id":"d1","url":")" + url + R"(","key":")" + key + R"(","name":"got.bin","size":)" +
              std::to_string(plain.size()) + R"(,"how":"save","dir":""})");
  ASSERT_TRUE(waitUntil([&] { return !shell_->calls("ExecuteScript window.deskFileDone").empty(); }, 30000));
  const std::string done = shell_->calls("ExecuteScript window.deskFileDone")[0];
  ASSERT_NE(done.find("\"ok\":true"), std::string::npos) << done;
  EXPECT_FALSE(shell_->calls("ExecuteScript window.deskLanProgress && window.deskLanProgress('d1', ").empty());
  // The saved file, found from its Windows path in the callback (a JSON text: "C:\\users\\...").
  const std::string marker = "\"path\":\"C:\\\\";
  const std::size_t at = done.find(marker);
  ASSERT_NE(at, std::string::npos) << done;
  const std::size_t from = at + marker.size();
  std::string unixPath = done.substr(from, done.find('"', from) - from);
  for (std::size_t i; (i = unixPath.find("\\\\")) != std::string::npos;) unixPath.replace(i, 2, "/");
  std::ifstream in(session_->prefix() / "drive_c" / unixPath, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), plain) << unixPath;

  // Offering a file the page handed over (a File object beside the message): served natively
  // from its path, at the machine's private addresses; without the object, not.
  const std::string src = R"(,"src":{"size":)" + std::to_string(plain.size()) + "}}";
  pageMessage(R"({"t":"lanOpen","id":"11111111111111111111111111111111","size":1,"key":")" + key + "\"" + src,
              shell_->windowsPath(offered));
  pageMessage(R"({"t":"lanOpen","id":"22222222222222222222222222222222","size":1,"key":")" + key + "\"" + src);
  ASSERT_TRUE(waitUntil([&] { return shell_->calls("ExecuteScript window.deskLanReady").size() == 2; }, 10000));
  const auto ready = shell_->calls("ExecuteScript window.deskLanReady");
  EXPECT_NE(ready[0].find("'11111111111111111111111111111111', {\"addrs\":[\"10.213.0."), std::string::npos) << ready[0];
  EXPECT_NE(ready[0].find("\"native\":true"), std::string::npos) << ready[0];
  EXPECT_NE(ready[1].find("\"native\":false"), std::string::npos) << ready[1];

  // A probe held inside WinHTTP by a peer that answers for minutes: once the window is closed,
  // the process ends all the same.
  TricklingPeer held("10.213.0.2");
  pageMessage(R"({"t":"lanProbe","id":")" + id + R"(","urls":["http://10.213.0.2:)" + std::to_string(held.port()) +
              "/" + id + R"("]})");
  ASSERT_TRUE(waitUntil([&] { return held.accepted(); }, 10000)) << "the probe never reached the peer";
  shell_->probe({"post", "16", "0", "0"});  // WM_CLOSE
  const auto code = shell_->wait(5000);
  ASSERT_TRUE(code) << "the shell still runs 5 s after its window was closed";
  EXPECT_EQ(*code, 0);
}

// The win64 build's installers: this version's, then through the update hand-off the next
// one's (packed with the stand-in), which a program holding the installed one open stops once;
// then the uninstaller.
TEST_F(WineDesktopTest, InstallersInstallUpdateAndRemoveTheProgram) {
  const auto next = win64File("tests/win32/TamselDesk-" DESK_NEXT_VERSION ".exe");
  if (!std::filesystem::exists(next)) GTEST_SKIP() << "Wine tests skipped: " << next << " is missing";
  if (!builtWithTestKey()) GTEST_SKIP() << "built with a release key: no signed update to check";
  const auto programs = session_->userFolder("AppData/Local/Programs/TamselDesk");
  const auto data = session_->userFolder("AppData/Local/TamselDeskNative");
  const auto shortcut = session_->userFolder("AppData/Roaming/Microsoft/Windows/Start Menu/Programs") /
                        (kDisplayName + std::string(".lnk"));
  const std::string folder = "C:\\users\\" + session_->userFolder("").parent_path().filename().string() +
                             "\\AppData\\Local\\Programs\\TamselDesk";
  auto entry = [&] {
    return session_->run({"reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TamselDesk"});
  };
  auto silently = [&](const std::filesystem::path& program) {
    std::optional<int> code;
    session_->run({program.string(), "/S"}, 90000, &code);
    return code;
  };

  // Installed for this user: the program with the SDK's loader, no server.json (no origin
  // configured), a shortcut, the entry in the list of programs.
  ASSERT_EQ(silently(win64File("packages/TamselDesk-" DESK_VERSION ".exe")), 0);
  for (const char* file : {"tamsel-desk.exe", "WebView2Loader.dll", "uninstall.exe"}) {
    EXPECT_TRUE(std::filesystem::exists(programs / file)) << file;
  }
  EXPECT_FALSE(std::filesystem::exists(programs / "server.json"));
  EXPECT_TRUE(std::filesystem::exists(shortcut));
  for (const std::string& value : std::vector<std::string>{
           "DisplayName", "Publisher    REG_SZ    Tamsel", "DisplayVersion    REG_SZ    " DESK_VERSION, "EstimatedSize",
           "DisplayIcon    REG_SZ    " + folder + "\\tamsel-desk.exe,0",
           "UninstallString    REG_SZ    \"" + folder + "\\uninstall.exe\"\r\n",
           "QuietUninstallString    REG_SZ    \"" + folder + "\\uninstall.exe\" /S"}) {
    EXPECT_NE(entry().find(value), std::string::npos) << value;
  }

  // Started where it lies, with the stand-in, against the server the user's config.json names;
  // the next version announced, signed with the test key.
  std::filesystem::copy_file(win64File("tests/win32/WebView2Loader.dll"), programs / "WebView2Loader.dll",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::create_directories(data);
  std::ofstream(data / "config.json") << R"({"server":")" << server_.origin() << "\"}";
  auto startInstalled = [&] {
    shell_ = std::make_unique<WineShell>(*session_);
    return shell_->startAt(programs / "tamsel-desk.exe") &&
           waitUntil([&] { return window().value("visible", false); }, 30000);
  };
  auto startedAs = [&](const std::string& version) {
    return waitUntil(
        [&] {
          return slurp(shell_->folder() / "calls.log").find("deskShellVersion=\"" + version + "\"") !=
                 std::string::npos;
        },
        60000);
  };
  auto handOff = [&] {
    pageMessage(R"({"t":"updateCheck","manual":true})");
    EXPECT_TRUE(scriptRan("window.deskUpdateReady && window.deskUpdateReady(\"" DESK_NEXT_VERSION "\")", 30000));
    pageMessage(R"({"t":"updateNow"})");
    EXPECT_EQ(shell_->wait(20000), 0) << shell_->standardError();
  };
  ASSERT_TRUE(startInstalled());
  session_->run({"reg", "add", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "/v", "TamselDeskNative",
                 "/d", "C:\\elsewhere\\tamsel-desk.exe", "/f"});
  std::string error;
  const auto manifest = desksign::makeManifest(testKeyFile(), DESK_NEXT_VERSION, next, next.filename().string(), error);
  ASSERT_TRUE(manifest) << error;
  server_.setRoute("/desk-update.json", 200, *manifest, "application/json");
  server_.setRoute("/download/" + next.filename().string(), 200, slurp(next));

  // Another program (a virus scanner, say) holds the installed one open: the installer gives up
  // with exit code 4, the old shell has ended, and the old program starts again as it was.
  {
    ChildProcess holder, watcher;
    const auto probe = [&](ChildProcess& child, const std::vector<std::string>& args, const std::string& output) {
      std::vector<std::string> argv{findProgram("wine"), win64File("tests/win32/desk-probe.exe").string()};
      argv.insert(argv.end(), args.begin(), args.end());
      return child.start(argv, session_->environment(), (shell_->folder() / output).string());
    };
    ASSERT_TRUE(probe(holder, {"hold", shell_->windowsPath(programs / "tamsel-desk.exe")}, "held.txt"));
    ASSERT_TRUE(waitUntil([&] { return !slurp(shell_->folder() / "held.txt").empty(); }, 20000));
    ASSERT_TRUE(probe(watcher, {"await", next.filename().string()}, "exit.txt"));
    handOff();
    ASSERT_EQ(watcher.wait(120000), 0);
    EXPECT_EQ(Json::parse(slurp(shell_->folder() / "exit.txt"), nullptr, false)["exit"], 4);
    EXPECT_FALSE(window().value("found", true));
  }
  ASSERT_TRUE(startInstalled());
  EXPECT_TRUE(startedAs(DESK_VERSION));

  // Then it goes through: the next version runs, with the same data folder (its origin came
  // from there), its server.json, and the autostart value on the installed program.
  handOff();
  ASSERT_TRUE(startedAs(DESK_NEXT_VERSION)) << shell_->standardError();
  const auto profiles = shell_->calls("CreateCoreWebView2EnvironmentWithOptions ");
  EXPECT_EQ(profiles.front(), profiles.back());
  EXPECT_TRUE(waitUntil([&] { return shell_->calls("Navigate " + pageUrl()).size() == 2; }, 20000));
  EXPECT_NE(entry().find("DisplayVersion    REG_SZ    " DESK_NEXT_VERSION), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(programs / "server.json"));
  EXPECT_NE(autostartValue().find("REG_SZ    \"" + folder + "\\tamsel-desk.exe\""), std::string::npos)
      << autostartValue();

  // Removed while it runs: the shell ends, and nothing of the program is left but the data.
  // The uninstaller runs as a copy of itself and waits for the shell to end: on a busy machine
  // Wine takes its time starting each of its programs.
  EXPECT_EQ(silently(programs / "uninstall.exe"), 0);
  EXPECT_TRUE(waitUntil([&] { return !window().value("found", true) && !std::filesystem::exists(programs); }, 120000));
  EXPECT_FALSE(std::filesystem::exists(shortcut));
  EXPECT_EQ(entry().find("DisplayName"), std::string::npos);
  EXPECT_EQ(autostartValue().find("TamselDeskNative"), std::string::npos);
  EXPECT_TRUE(std::filesystem::remove(data / "config.json"));
}

}  // namespace
