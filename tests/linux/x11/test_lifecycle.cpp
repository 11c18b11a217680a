// Start-up and recovery of the real shell: a second start, a server that goes away and comes back.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ShellHarness.h"

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
  ASSERT_TRUE(second.start({ShellHarness::shellProgram(), "--server=ftp://not-a-desk"}, harness->environment(),
                           (harness->home().path() / "second.log").string()));
  const auto code = second.wait(15000);
  ASSERT_TRUE(code) << "the second start did not end";
  EXPECT_EQ(*code, 0);
  EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  EXPECT_TRUE(harness->shell().running());
}

TEST_F(X11DesktopTest, OfflineNoticeWhileTheServerIsGoneThenThePageAgain) {
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(waitUntil([&] { auto p = probe->pixel(180, 160); return p.r > 200 && p.g < 60; }, 10000));

  // The page reloads itself after the server has gone.
  ASSERT_TRUE(harness->command("setTimeout(function () { location.reload(); }, 800); 'later'"));
  harness->server().stop();

  // The notice: a dark label at the bottom right, the shape gone, every click passes through.
  auto noticeShown = [&] {
    const Rgb label = probe->pixel(1280 - 16 - 6, 800 - 16 - 6);
    const Rgb shape = probe->pixel(180, 160);
    return label.r < 100 && label.g < 100 && label.b < 100 && !(shape.r > 200 && shape.g < 60);
  };
  ASSERT_TRUE(waitUntil(noticeShown, 10000));

  const std::size_t readyBefore = harness->count("ready");
  ASSERT_TRUE(harness->server().restart());
  // Due 10 s after the notice, noticed at the next 2 s activity tick.
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

TEST_F(X11DesktopTest, RefusedOriginIsExplainedInABoxAndEndsWithOne) {
  ChildProcess shell;
  ASSERT_TRUE(shell.start({ShellHarness::shellProgram(), "--server=http://example.com"}, harness->environment(),
                          (harness->home().path() / "refused.log").string()));
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
}
