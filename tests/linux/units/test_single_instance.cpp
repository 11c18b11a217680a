// One shell per user: the second start finds the first and asks it to show itself.
#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>

#include "SingleInstance.h"
#include "support/TempDir.h"

namespace {

// Sets XDG_RUNTIME_DIR (null: unsets it) for one scope.
class RuntimeDir {
 public:
  explicit RuntimeDir(const char* value) : old_(g_getenv("XDG_RUNTIME_DIR") ? g_getenv("XDG_RUNTIME_DIR") : "") {
    set(value);
  }
  ~RuntimeDir() { set(old_.empty() ? nullptr : old_.c_str()); }

 private:
  static void set(const char* value) {
    if (value) g_setenv("XDG_RUNTIME_DIR", value, TRUE);
    else g_unsetenv("XDG_RUNTIME_DIR");
  }
  std::string old_;
};

bool pumpUntil(const bool& flag) {
  for (int i = 0; i < 200 && !flag; ++i) {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_usleep(10 * 1000);
  }
  return flag;
}

}  // namespace

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
    RuntimeDir env(c.runtimeDir);
    SingleInstance first;
    ASSERT_TRUE(first.acquire());
    bool shown = false;
    first.listen([&] { shown = true; });

    SingleInstance second;
    EXPECT_FALSE(second.acquire());
    EXPECT_TRUE(second.requestShow());
    EXPECT_TRUE(pumpUntil(shown));
  }
  // Each case above began after the one before had ended: the lock is free again, and a socket
  // file left in the folder is replaced, not obeyed.
  RuntimeDir env(runPath.c_str());
  SingleInstance next;
  EXPECT_TRUE(next.acquire());
  EXPECT_TRUE(std::filesystem::exists(run / "tamsel-desk.sock"));
}
