// Process entry and App::run: exit codes, boxes, origin precedence and validation, window phase.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/RunShell.h"
#include "app/ShellTexts.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

struct Shell {
  FakeDesktop desk;
  FakeWebHost web;
  std::filesystem::path dataDir() const { return *desk.localAppData / "TamselDeskNative"; }
  std::vector<std::string> boxes() const {
    std::vector<std::string> out;
    for (const auto& b : desk.boxes) out.push_back(toNarrow(b.text));
    return out;
  }
};

struct ExitCase {
  const char* name;
  void (*setup)(Shell&);
  int code;
  std::optional<std::string> box;  // the one box shown, if any
  bool owned = false;
};

TEST(Startup, ExitCodesAndMessages) {
  const std::string startFailed = toNarrow(kTextStartFailed);
  const ExitCase cases[] = {
      {"second instance", [](Shell& s) { s.desk.instanceLock = InstanceLock::AnotherRuns; }, 0, std::nullopt},
      {"instance lock unusable", [](Shell& s) { s.desk.instanceLock = InstanceLock::Failed; }, 1, startFailed},
      {"no local app data", [](Shell& s) { s.desk.localAppData.reset(); }, 1, std::nullopt},
      {"data folder refused", [](Shell& s) { s.desk.createDataFolderOk = false; }, 1, startFailed},
      {"exception in run", [](Shell& s) { s.desk.executablePathThrows = true; }, 1, startFailed},
      {"bad origin", [](Shell& s) { s.desk.arguments = {DESK_W("--server=")}; }, 1, toNarrow(kTextBadOrigin)},
      {"window refused", [](Shell& s) { s.desk.createWindowOk = false; }, 1, std::nullopt},
      {"loader missing", [](Shell& s) { s.web.loadRuntimeOk = false; }, 1, toNarrow(kTextLoaderMissing), true},
      {"environment refused", [](Shell& s) { s.web.createEnvironmentOk = false; }, 1,
       toNarrow(kTextEnvironmentRefused), true},
      {"window gone after web start", [](Shell& s) { s.desk.windowVanishes = true; }, 1, std::nullopt},
      {"normal end", [](Shell&) {}, 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Shell s;
    c.setup(s);
    s.desk.loopBody = [&] { s.desk.events->onClose(); };
    EXPECT_EQ(runShell(s.desk, s.web), c.code);
    if (c.box) {
      ASSERT_EQ(s.boxes(), std::vector<std::string>{*c.box});
      EXPECT_EQ(s.desk.boxes[0].icon, MessageIcon::Error);
      EXPECT_EQ(s.desk.boxes[0].owned, c.owned);
    } else {
      EXPECT_TRUE(s.desk.boxes.empty());
    }
  }
}

TEST(Startup, SecondInstanceOnlyWakesTheFirst) {
  Shell s;
  s.desk.instanceLock = InstanceLock::AnotherRuns;
  s.desk.arguments = {DESK_W("--server=https://other.example")};
  writeFile(s.desk.exePath.parent_path() / "server.json", "{\"server\":\"ftp://x\"}");
  testing::internal::CaptureStderr();
  EXPECT_EQ(runShell(s.desk, s.web), 0);
  // The running shell keeps its origin; the user learns that the one given now was not used.
  EXPECT_NE(testing::internal::GetCapturedStderr().find("--server=https://other.example is not used"),
            std::string::npos);
  EXPECT_EQ(s.desk.showRequests, 1);
  EXPECT_TRUE(s.desk.createdFolders.empty());
  EXPECT_EQ(s.desk.createWindowCalls, 0);
  EXPECT_TRUE(s.desk.boxes.empty());
}

TEST(Startup, RuntimeMissingAsksAndOpensTheDownloadOnlyOnYes) {
  for (bool yes : {false, true}) {
    Shell s;
    s.web.runtimeIsPresent = false;
    s.desk.answerYes = yes;
    EXPECT_EQ(runShell(s.desk, s.web), 1);
    ASSERT_EQ(s.desk.questions.size(), 1u);
    EXPECT_EQ(s.desk.questions[0], kTextNoRuntime);
    EXPECT_EQ(s.desk.openedAddresses.size(), yes ? 1u : 0u);
    EXPECT_FALSE(s.desk.windowAlive);
  }
}

struct OriginCase {
  const char* name;
  std::optional<std::string> serverJson;
  std::optional<std::string> configJson;
  std::vector<std::string> args;
  std::optional<std::string> origin;  // nullopt: rejected with the address message
  std::string cause = {};             // a line standard error must hold
};

TEST(Startup, OriginPrecedenceAndValidation) {
  const OriginCase cases[] = {
      {"default", {}, {}, {}, "https://desk.tamsel.example", "no server origin configured"},
      {"config local http", {}, "{\"server\":\"http://127.0.0.1:8080/\"}", {}, "http://127.0.0.1:8080"},
      {"server.json", "{\"server\":\"https://a.example\"}", {}, {}, "https://a.example"},
      {"config beats server.json", "{\"server\":\"https://a.example\"}", "{\"server\":\"https://b.example\"}", {}, "https://b.example"},
      {"argument beats both", "{\"server\":\"https://a.example\"}", "{\"server\":\"https://b.example\"}",
       {"--server=https://c.example"}, "https://c.example"},
      {"last argument wins", {}, {}, {"--server=https://c.example", "other", "--server=https://d.example"}, "https://d.example"},
      {"prefix is case-sensitive", {}, {}, {"--Server=https://c.example"}, "https://desk.tamsel.example"},
      {"empty argument", {}, {}, {"--server="}, std::nullopt},
      {"empty config value", {}, "{\"server\":\"\"}", {}, std::nullopt},
      {"non-string ignored", "{\"server\":5}", {}, {}, "https://desk.tamsel.example",
       "server.json ignored (\"server\" is not a string)"},
      {"invalid json ignored", "{\"server\":", "[1,2]", {}, "https://desk.tamsel.example",
       "server.json ignored (line 1, column 11: not valid JSON)"},
      {"config.json not an object", {}, "[1,2]", {}, "https://desk.tamsel.example",
       "config.json ignored (not a JSON object)"},
      {"config.json error on its line", "{\"server\":\"https://a.example\"}", "{\n  \"server\": \"https://b\",\n}", {},
       "https://a.example", "config.json ignored (line 3, column 1: not valid JSON)"},
      {"plain http remote", {}, {}, {"--server=http://example.com"}, std::nullopt,
       "the server origin \"http://example.com\" is refused"},
      {"https remote", {}, {}, {"--server=https://example.com"}, "https://example.com"},
      {"localhost http with port", {}, {}, {"--server=http://localhost:3000"}, "http://localhost:3000"},
      {"path", {}, {}, {"--server=https://example.com/desk"}, std::nullopt},
      {"query", {}, {}, {"--server=https://example.com?a=1"}, std::nullopt},
      {"fragment", {}, {}, {"--server=https://example.com#top"}, std::nullopt},
      {"user name", {}, {}, {"--server=https://me@example.com"}, std::nullopt},
      {"ftp", {}, {}, {"--server=ftp://example.com"}, std::nullopt},
      {"trailing slashes", {}, {}, {"--server=https://host///"}, "https://host"},
      {"capitals kept", {}, {}, {"--server=HTTPS://Host"}, "HTTPS://Host"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Shell s;
    if (c.serverJson) writeFile(s.desk.exePath.parent_path() / "server.json", *c.serverJson);
    if (c.configJson) writeFile(s.dataDir() / "config.json", *c.configJson);
    for (const auto& a : c.args) s.desk.arguments.push_back(toWide(a));
    s.desk.createWindowOk = false;  // stop right after configuration
    App app(s.desk, s.web);
    testing::internal::CaptureStderr();
    EXPECT_EQ(app.run(), 1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find(c.cause), std::string::npos) << c.cause;
    EXPECT_EQ(app.dataDir, s.dataDir());
    if (c.origin) {
      EXPECT_TRUE(s.desk.boxes.empty());
      EXPECT_EQ(toNarrow(app.serverOrigin), *c.origin);
      EXPECT_EQ(toNarrow(app.pageUrl), *c.origin + "/_desk.html");
      EXPECT_EQ(s.desk.createWindowCalls, 1);
    } else {
      ASSERT_EQ(s.boxes(), std::vector<std::string>{toNarrow(kTextBadOrigin)});
      EXPECT_FALSE(s.desk.boxes[0].owned);
      EXPECT_EQ(s.desk.createWindowCalls, 0);
    }
  }
}

TEST(Startup, WindowPhaseInOrder) {
  Shell s;
  s.desk.monitors = {FakeDesktop::standardMonitor(1, 0), FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2")};
  s.desk.primaryIndex = 1;
  s.desk.scale = 1.25;
  bool checked = false;
  s.desk.loopBody = [&] {
    App& app = dynamic_cast<App&>(*s.desk.events);
    std::vector<std::pair<int, std::uint32_t>> timers;
    for (const auto& t : s.desk.timerEvents) timers.emplace_back(t.id, t.intervalMs);
    EXPECT_EQ(timers, (std::vector<std::pair<int, std::uint32_t>>{{kTimerPointer, 33}, {kTimerIdle, 5000},
                                                              {kTimerActivity, 2000}, {kTimerFirstUpdate, 20000},
                                                              {kTimerUpdate, 7200000}}));
    EXPECT_EQ(s.desk.transparencyCalls, 1);
    EXPECT_EQ(s.desk.windowRect, s.desk.monitors[1].workArea);
    EXPECT_EQ(app.pageScale, 1.25);
    EXPECT_EQ(s.desk.trayAdds, 1);
    EXPECT_TRUE(s.desk.sessionRegistered);
    EXPECT_EQ(s.web.userDataFolder, s.dataDir() / "WebView2");
    EXPECT_FALSE(s.desk.visible);  // shown only once the bridge is registered
    checked = true;
    app.onClose();
  };
  EXPECT_EQ(runShell(s.desk, s.web), 0);
  EXPECT_TRUE(checked);
}

}  // namespace
