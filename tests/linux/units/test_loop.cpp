// The main loop's message posting: from any thread, never run inside the post, and every
// payload freed exactly once whether or not anyone takes it.
#include <gtest/gtest.h>

#include <glib.h>

#include <atomic>
#include <thread>
#include <vector>

#include "LinuxDesktop.h"

namespace {

std::atomic<int> alive{0};

struct CountedPayload final : MessagePayload {
  CountedPayload() { ++alive; }
  ~CountedPayload() override { --alive; }
};

void drain() {
  for (int i = 0; i < 10000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
}

char programName[] = "test";
char* programArgs[] = {programName, nullptr};

}  // namespace

TEST(LinuxLoop, PostsFromManyThreadsAreQueuedAndTheirPayloadsFreed) {
  LinuxDesktop desktop(1, programArgs);
  constexpr int kThreads = 4;
  constexpr int kEach = 250;
  std::atomic<int> accepted{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kEach; ++i) {
        PayloadPtr payload = std::make_unique<CountedPayload>();
        if (desktop.post(WM_RUN_SCRIPT, 0, payload)) {
          ++accepted;
          EXPECT_EQ(payload, nullptr);  // it belongs to the receiver now
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(accepted.load(), kThreads * kEach);
  // Nothing ran inside post(): every payload still waits in the loop.
  EXPECT_EQ(alive.load(), kThreads * kEach);
  drain();
  EXPECT_EQ(alive.load(), 0);
}

TEST(LinuxLoop, PayloadsStillQueuedWhenTheDesktopGoesAreFreed) {
  {
    LinuxDesktop desktop(1, programArgs);
    for (int i = 0; i < 10; ++i) {
      PayloadPtr payload = std::make_unique<CountedPayload>();
      ASSERT_TRUE(desktop.post(WM_FILE_DONE, 0, payload));
    }
    EXPECT_EQ(alive.load(), 10);
  }
  EXPECT_EQ(alive.load(), 0);
}

TEST(LinuxLoop, QuitBeforeTheLoopRunsEndsItAtOnceWithTheCode) {
  LinuxDesktop desktop(1, programArgs);
  desktop.quit(7);
  EXPECT_EQ(desktop.runLoop(), 7);
  // After the loop nothing is accepted any more; the payload stays with the sender.
  PayloadPtr payload = std::make_unique<CountedPayload>();
  EXPECT_FALSE(desktop.post(WM_FILE_DONE, 0, payload));
  EXPECT_NE(payload, nullptr);
}
