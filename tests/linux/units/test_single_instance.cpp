// One shell per user and display: the second start finds the first and asks it to show itself.
// Every key here is the test's own, so a shell the user runs beside the tests is never touched.
#include <gtest/gtest.h>

#include <glib.h>
#include <functional>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "SingleInstance.h"
#include "support/TempDir.h"

namespace {

// Sets an environment variable (null: unsets it) for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), had_(g_getenv(name) != nullptr) {
    if (had_) old_ = g_getenv(name);
    set(value);
  }
  ~ScopedEnv() { set(had_ ? old_.c_str() : nullptr); }

 private:
  void set(const char* value) {
    if (value) g_setenv(name_, value, TRUE);
    else g_unsetenv(name_);
  }
  const char* name_;
  bool had_;
  std::string old_;
};

// Runs the main loop until the condition holds (or for the given turns, with none).
bool pumpUntil(const std::function<bool()>& done, int turns = 200) {
  for (int i = 0; i < turns && !(done && done()); ++i) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10 * 1000);
  }
  return done && done();
}

std::string testKey(const char* display) {
  ScopedEnv name("TAMSEL_DESK_INSTANCE", ("test-instance-" + std::to_string(getpid())).c_str());
  return instanceKey(display);
}

// A client of the running shell's socket, connected the way a second start connects.
int connectTo(const std::filesystem::path& socket) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

TEST(SingleInstance, KeyIsTheUsersChoiceAndTheDisplay) {
  const std::string base = "test-instance-" + std::to_string(getpid());
  const std::pair<const char*, std::string> cases[] = {
      {":0", base + "-0"},           {":0.0", base + "-0"},          {"unix:0.1", base + "-0"},
      {":12", base + "-12"},         {"host:3.0", base + "-host-3"}, {nullptr, base + "-nodisplay"},
      {"/tmp/x/y:0", base + "-_tmp_x_y-0"},
  };
  for (const auto& [display, key] : cases) EXPECT_EQ(testKey(display), key) << (display ? display : "(none)");
  ScopedEnv unset("TAMSEL_DESK_INSTANCE", nullptr);
  EXPECT_EQ(instanceKey(":1"), "tamsel-desk-1");
}

TEST(SingleInstance, SecondStartIsRefusedAndWakesTheFirstUntilTheFirstEnds) {
  TempDir temp("instance");
  const auto run = temp / "run";
  std::filesystem::create_directories(run);
  chmod(run.c_str(), 0700);

  struct Case {
    const char* name;
    const char* runtimeDir;
  };
  const std::string runPath = run.string();
  // A private runtime folder; none at all (the abstract socket); one that others may enter.
  const Case cases[] = {{"runtime folder", runPath.c_str()}, {"no runtime folder", nullptr}, {"open folder", "/tmp"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv env("XDG_RUNTIME_DIR", c.runtimeDir);
    SingleInstance first(testKey(":5"));
    ASSERT_EQ(first.acquire(), InstanceLock::Acquired);
    bool shown = false;
    first.listen([&] { shown = true; });

    SingleInstance second(testKey(":5.0"));
    EXPECT_EQ(second.acquire(), InstanceLock::AnotherRuns);
    EXPECT_TRUE(second.requestShow());
    EXPECT_TRUE(pumpUntil([&] { return shown; }));

    // Another display of the same user is another session with a shell of its own.
    SingleInstance elsewhere(testKey(":6"));
    EXPECT_EQ(elsewhere.acquire(), InstanceLock::Acquired);
  }
  // Each case above began after the one before had ended: the lock is free again, and a socket
  // file left in the folder is replaced, not obeyed.
  ScopedEnv env("XDG_RUNTIME_DIR", runPath.c_str());
  SingleInstance next(testKey(":5"));
  EXPECT_EQ(next.acquire(), InstanceLock::Acquired);
  EXPECT_TRUE(std::filesystem::exists(run / (testKey(":5") + ".sock")));
}

TEST(SingleInstance, AnUnusableLockIsAFailureNotAnotherShell) {
  TempDir temp("instance-broken");
  const auto run = temp / "run";
  std::filesystem::create_directories(run / (testKey(":5") + ".lock"));  // a folder where the lock goes
  chmod(run.c_str(), 0700);
  ScopedEnv env("XDG_RUNTIME_DIR", run.c_str());
  SingleInstance first(testKey(":5"));
  testing::internal::CaptureStderr();
  EXPECT_EQ(first.acquire(), InstanceLock::Failed);
  EXPECT_NE(testing::internal::GetCapturedStderr().find((run / (testKey(":5") + ".lock")).string()),
            std::string::npos);
}

TEST(SingleInstance, SilentAndSlowClientsNeverHoldTheLoop) {
  TempDir temp("instance-slow");
  const auto run = temp / "run";
  std::filesystem::create_directories(run);
  chmod(run.c_str(), 0700);
  ScopedEnv env("XDG_RUNTIME_DIR", run.c_str());
  SingleInstance first(testKey(":5"));
  ASSERT_EQ(first.acquire(), InstanceLock::Acquired);
  int shown = 0;
  first.listen([&] { ++shown; });
  const auto socket = run / (testKey(":5") + ".sock");

  // A request that arrives in two pieces, with the loop running in between, is still heard.
  const int slow = connectTo(socket);
  ASSERT_GE(slow, 0);
  ASSERT_EQ(send(slow, "sh", 2, MSG_NOSIGNAL), 2);
  pumpUntil(nullptr, 20);
  ASSERT_EQ(send(slow, "ow\n", 3, MSG_NOSIGNAL), 3);
  EXPECT_TRUE(pumpUntil([&] { return shown == 1; }));
  close(slow);

  // Connections that say nothing do not keep a real request from being heard.
  std::vector<int> silent;
  for (int i = 0; i < 12; ++i) silent.push_back(connectTo(socket));
  SingleInstance second(testKey(":5"));
  EXPECT_TRUE(second.requestShow());
  EXPECT_TRUE(pumpUntil([&] { return shown == 2; }));
  for (int fd : silent) close(fd);
}
