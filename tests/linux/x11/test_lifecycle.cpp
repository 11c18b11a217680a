// Start-up and recovery of the real shell: a second start, a server that goes away and comes back.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "ShellHarness.h"
#include "app/App.h"

namespace {

// The shell's web content processes: descendants of the shell named WebKitWebProcess.
std::vector<pid_t> webProcesses(pid_t shell) {
  std::map<pid_t, std::pair<pid_t, std::string>> table;  // pid -> parent, name
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream in(entry.path() / "stat");
    std::string line;
    pid_t pid = 0;
    pid_t parent = 0;
    char state = 0;
    if (!(in >> pid) || !std::getline(in, line)) continue;
    // "(name) state parent ...": the name may hold spaces and brackets, so read from the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos || !(std::istringstream(line.substr(close + 1)) >> state >> parent)) continue;
    table[pid] = {parent, line.substr(2, close - 2)};
  }
  std::vector<pid_t> found;
  for (const auto& [pid, info] : table) {
    if (info.second.rfind("WebKitWebProces", 0) != 0) continue;
    for (pid_t up = info.first; up > 1 && table.count(up); up = table[up].first) {
      if (up == shell) {
        found.push_back(pid);
        break;
      }
    }
  }
  return found;
}

}  // namespace

TEST_F(X11DesktopTest, SecondStartShowsTheHiddenFirstAndExitsWithZero) {
  ASSERT_TRUE(harness->startShell());
  // The data folder is the user's alone, and the page's profile lives in it.
  const auto dataDir = harness->home().path() / "data/TamselDeskNative";
  struct stat info {};
  ASSERT_EQ(stat(dataDir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_FALSE(std::filesystem::is_empty(dataDir));
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  ASSERT_TRUE(probe->viewable(*window));

  ASSERT_TRUE(harness->command("deskSend({ t: 'hide', ms: 600000 }); 'hidden'"));
  ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));

  // The second start is given an address it would refuse: it must not even read it.
  ChildProcess second;
  ASSERT_TRUE(harness->launch(second, {"--server=ftp://not-a-desk"}, {}, "second.log"));
  const auto code = second.wait(15000);
  ASSERT_TRUE(code) << "the second start did not end";
  EXPECT_EQ(*code, 0);
  EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  EXPECT_TRUE(harness->shell().running());
  // The user learns why the address given now changed nothing.
  EXPECT_NE(harness->output("second.log").find("--server=ftp://not-a-desk is not used"), std::string::npos)
      << harness->output("second.log");
}

TEST_F(X11DesktopTest, SignInsSurviveARestartAndABrokenConfigurationIsNamed) {
  // A hand-edited config.json with a trailing comma: ignored, and the user is told where.
  const auto dataDir = harness->home().path() / "data/TamselDeskNative";
  std::filesystem::create_directories(dataDir);
  std::ofstream(dataDir / "config.json") << "{\n  \"server\": \"https://desk.example\",\n}\n";
  DeskServer::Route login;
  login.body = "ok";
  login.contentType = "text/plain";
  login.headers = {{"Set-Cookie", "desk-session=kept; Max-Age=3600; Path=/"}};
  harness->server().setRoute("/login", login);

  ASSERT_TRUE(harness->startShell());
  EXPECT_NE(harness->output().find((dataDir / "config.json").string() + " ignored (line 3, column 1: not valid JSON)"),
            std::string::npos)
      << harness->output();
  ASSERT_TRUE(harness->command("fetch('/login').then(function () { deskRecord('signedIn'); }); 'asked'"));
  ASSERT_TRUE(waitUntil([&] { return harness->count("signedIn") == 1; }, 8000));
  harness->shell().stop();

  // The next run sends the server's cookie with its first request.
  ASSERT_TRUE(harness->startShell());
  EXPECT_NE(harness->server().lastCookie("/_desk.html").find("desk-session=kept"), std::string::npos)
      << harness->server().lastCookie("/_desk.html");
}

TEST_F(X11DesktopTest, EveryFailedLoadShowsTheNoticeAndIsRetried) {
  // The notice: a dark label at the bottom right, the shape gone, every click passes through.
  auto noticeShown = [&] {
    const Rgb label = probe->pixel(1280 - 16 - 6, 800 - 16 - 6);
    const Rgb shape = probe->pixel(180, 160);
    return label.r < 100 && label.g < 100 && label.b < 100 && !(shape.r > 200 && shape.g < 60);
  };
  {
    SCOPED_TRACE("a port the web engine never loads");
    ChildProcess refused;
    ASSERT_TRUE(harness->launch(refused, {"--server=http://127.0.0.1:9"}, {}, "port9.log"));
    EXPECT_TRUE(waitUntil(noticeShown, 15000));
  }
  {
    SCOPED_TRACE("an error answer (a proxy's 503), then the page");
    harness->server().setRoute("/_desk.html", 503, "<html><body style='background:#00ff00'>busy</body></html>",
                               "text/html");
    ASSERT_TRUE(harness->launch(harness->shell()));
    ASSERT_TRUE(waitUntil(noticeShown, 15000));
    const Rgb middle = probe->pixel(640, 400);
    EXPECT_FALSE(middle.g > 200 && middle.r < 60) << "the error document is on the screen";
    harness->server().removeRoute("/_desk.html");
    // Due 10 s after the notice, noticed at the next 2 s activity tick.
    EXPECT_TRUE(waitUntil([&] { return harness->count("ready") == 1; }, 12500));
  }
  SCOPED_TRACE("the server gone, then back");
  ASSERT_TRUE(waitUntil([&] { auto p = probe->pixel(180, 160); return p.r > 200 && p.g < 60; }, 10000));
  // The page reloads itself after the server has gone.
  ASSERT_TRUE(harness->command("setTimeout(function () { location.reload(); }, 800); 'later'"));
  harness->server().stop();
  ASSERT_TRUE(waitUntil(noticeShown, 10000));

  const std::size_t readyBefore = harness->count("ready");
  ASSERT_TRUE(harness->server().restart());
  EXPECT_TRUE(waitUntil([&] { return harness->count("ready") > readyBefore; }, 12500));
}

TEST_F(X11DesktopTest, CrashedWebProcessIsFollowedByThePageAgain) {
  ASSERT_TRUE(harness->startShell());
  const auto processes = webProcesses(harness->shell().pid());
  ASSERT_FALSE(processes.empty()) << "no web process found under the shell";
  const std::size_t before = harness->count("ready");
  for (pid_t pid : processes) kill(pid, SIGKILL);
  // The page is loaded again about two seconds later, at an activity tick.
  EXPECT_TRUE(waitUntil([&] { return harness->count("ready") > before; }, 10000));
  EXPECT_TRUE(harness->shell().running());
}

TEST_F(X11DesktopTest, StartFailuresAreExplainedInABoxAndOnStandardErrorAndEndWithOne) {
  const auto home = harness->home().path();
  const auto dataDir = home / "data/TamselDeskNative";
  const std::string display = session()->display().substr(1);
  const auto lock = home / "run" / ("test-" + home.filename().string() + "-" + display + ".lock");
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<void()> setup;
    std::string cause;
  };
  const Case cases[] = {
      {"refused origin", {"--server=http://example.com"}, [] {}, "\"http://example.com\" is refused"},
      {"data folder unusable", {}, [&] {
         std::filesystem::remove_all(dataDir);
         std::ofstream(dataDir) << "a file where the folder goes";
       },
       "cannot use the data folder " + dataDir.string()},
      {"single-instance lock unusable", {}, [&] {
         std::filesystem::remove(dataDir);
         std::filesystem::remove(lock);
         std::filesystem::create_directories(lock);
       }, "cannot open the single-instance lock " + lock.string()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setup();
    ChildProcess shell;
    const std::string log = std::string(c.name) + ".log";
    ASSERT_TRUE(harness->launch(shell, c.args, {}, log));
    // A modal box with the program's caption; the shell waits for it.
    std::optional<Window> box;
    ASSERT_TRUE(waitUntil(
        [&] {
          box = probe->windowNamed("在线Tamsel桌面小屋");
          return box && probe->viewable(*box);
        },
        10000));
    EXPECT_TRUE(shell.running());
    EXPECT_FALSE(probe->shellWindow());  // no companion window was made
    ASSERT_TRUE(xdotool(session()->display(), {"key", "Return"}));
    const auto code = shell.wait(10000);
    ASSERT_TRUE(code);
    EXPECT_EQ(*code, 1);
    EXPECT_NE(harness->output(log).find(c.cause), std::string::npos) << harness->output(log);
  }
}

TEST_F(X11DesktopTest, HelpAndVersionAnswerBeforeAnyDisplayOrLockAndNameUnknownOptions) {
  const std::pair<const char*, std::string> answers[] = {
      {"--help", "  --server=ORIGIN  take the desk page from ORIGIN, for this start only\n"},
      {"--version", std::string("tamsel-desk ") + kShellVersion + "\n"}};
  for (const auto& [option, text] : answers) {
    SCOPED_TRACE(option);
    ChildProcess answer;
    // A display that does not exist: an answer that opened one would fail.
    ASSERT_TRUE(harness->launch(answer, {"--frob", option}, {"DISPLAY=:65000"}, "answer.log"));
    EXPECT_EQ(answer.wait(10000), std::optional<int>(0));
    EXPECT_NE(harness->output("answer.log").find(text), std::string::npos) << harness->output("answer.log");
    EXPECT_NE(harness->output("answer.log").find("unknown option \"--frob\" ignored"), std::string::npos);
  }
  EXPECT_TRUE(std::filesystem::is_empty(harness->home().path() / "run")) << "a lock was made";
}
