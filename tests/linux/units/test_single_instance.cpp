// One shell per user: the second start finds the first and asks it to show itself.
#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>

#include "SingleInstance.h"
#include "support/TempDir.h"

namespace {

class RuntimeDir {
 public:
  explicit RuntimeDir(const char* value) {
    const char* old = g_getenv("XDG_RUNTIME_DIR");
    if (old) old_ = old;
    hadOld_ = old != nullptr;
    if (value) {
      g_setenv("XDG_RUNTIME_DIR", value, TRUE);
    } else {
      g_unsetenv("XDG_RUNTIME_DIR");
    }
  }
  ~RuntimeDir() {
    if (hadOld_) {
      g_setenv("XDG_RUNTIME_DIR", old_.c_str(), TRUE);
    } else {
      g_unsetenv("XDG_RUNTIME_DIR");
    }
  }

 private:
  std::string old_;
  bool hadOld_ = false;
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

TEST(SingleInstance, SecondStartIsRefusedAndWakesTheFirst) {
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
}

TEST(SingleInstance, TheLockIsFreeAgainWhenTheFirstEnds) {
  TempDir temp("instance");
  const auto run = temp / "run";
  std::filesystem::create_directories(run);
  chmod(run.c_str(), 0700);
  RuntimeDir env(run.c_str());
  {
    SingleInstance first;
    ASSERT_TRUE(first.acquire());
  }
  SingleInstance next;
  EXPECT_TRUE(next.acquire());
  // A stale socket file from a shell that died is replaced, not obeyed.
  EXPECT_TRUE(std::filesystem::exists(run / "tamsel-desk.sock"));
}
