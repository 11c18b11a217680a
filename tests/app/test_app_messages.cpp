// Private messages from workers, the window procedure's cases, hide and show.
#include <gtest/gtest.h>

#include <thread>

#include "AppHarness.h"
#include "files/FileJob.h"
#include "update/UpdateReady.h"

namespace {

struct Counted final : MessagePayload {
  explicit Counted(int& n) : freed(n) {}
  ~Counted() override { ++freed; }
  int& freed;
};

TEST(AppMessages, APayloadIsFreedByItsSenderWhenThePostFailsOrTheAppCloses) {
  AppHarness h;
  int freed = 0;
  h.desk.postFails = true;
  EXPECT_FALSE(h.app->postPayload(WM_FILE_DONE, 0, std::make_unique<Counted>(freed)));
  EXPECT_EQ(freed, 1);
  h.desk.postFails = false;
  EXPECT_TRUE(h.app->postPayload(WM_FILE_DONE, 0, std::make_unique<Counted>(freed)));
  EXPECT_EQ(freed, 1);
  h.desk.pump(*h.app);  // the wrong type for its message: dropped, not misread
  EXPECT_EQ(freed, 2);
  h.app->closing = true;
  const int posts = h.desk.postCalls;
  EXPECT_FALSE(h.app->postPayload(WM_FILE_DONE, 0, std::make_unique<Counted>(freed)));
  EXPECT_EQ(freed, 3);
  EXPECT_EQ(h.desk.postCalls, posts);
}

TEST(AppMessages, WorkerScriptsRunInOrderOnlyWithAWebViewAndBeforeClosing) {
  AppHarness h;
  h.app->postScript(toWide("early()"));  // no web view yet: posted, then dropped when run
  h.desk.pump(*h.app);
  EXPECT_TRUE(h.web.scripts.empty());

  h.webUp();
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) h.app->postScript(toWide("s" + std::to_string(i) + "()"));
  });
  worker.join();
  h.desk.pump(*h.app);
  EXPECT_EQ(h.scripts(), (std::vector<std::string>{"s0()", "s1()", "s2()"}));

  h.desk.postFails = true;
  h.app->postScript(toWide("lost()"));
  h.desk.postFails = false;
  EXPECT_TRUE(h.desk.queue.empty());

  h.app->postScript(toWide("late()"));
  h.app->closing = true;
  EXPECT_EQ(h.desk.pump(*h.app), 1);
  h.app->postScript(toWide("after()"));
  EXPECT_TRUE(h.desk.queue.empty());
  EXPECT_EQ(h.web.scripts.size(), 3u);
  h.app->runScript(toWide("direct()"));
  EXPECT_EQ(h.web.scripts.size(), 3u);
}

TEST(AppMessages, UpdateStateAndShowShell) {
  AppHarness h;
  h.webUp();
  PayloadPtr none;
  h.desk.post(WM_UPDATE_STATE, 1, none);
  h.desk.post(WM_UPDATE_STATE, 0, none);
  h.desk.post(WM_UPDATE_STATE, 2, none);
  h.desk.post(kWmApp + 8, 0, none);
  h.desk.pump(*h.app);
  EXPECT_EQ(h.scripts(), (std::vector<std::string>{"window.deskUpdateState && window.deskUpdateState('latest')",
                                                   "window.deskUpdateState && window.deskUpdateState('fail')",
                                                   "window.deskUpdateState && window.deskUpdateState('fail')"}));
  h.app->hide();
  ASSERT_NE(h.app->hideUntil, 0u);
  h.desk.post(WM_SHOW_SHELL, 0, none);
  h.desk.pump(*h.app);
  EXPECT_TRUE(h.desk.visible);
  EXPECT_EQ(h.app->hideUntil, 0u);
}

TEST(AppMessages, NothingPostedRunsOnceClosing) {
  AppHarness h;
  h.webUp();
  h.app->hide();
  PayloadPtr none;
  h.desk.post(WM_SHOW_SHELL, 0, none);
  h.desk.post(WM_UPDATE_STATE, 1, none);
  h.desk.post(WM_RESTART_WEB, 0, none);
  h.app->onClose();
  h.desk.pump(*h.app);
  EXPECT_EQ(h.web.scripts.size(), 1u);  // only the blur of hide()
  EXPECT_FALSE(h.desk.visible);
  EXPECT_EQ(h.web.releaseAllCalls, 0);
}

TEST(AppMessages, WindowCases) {
  AppHarness h;
  h.windowUp();
  h.app->onSize();
  h.app->onSetFocus();
  EXPECT_FALSE(h.web.bounds.has_value());
  EXPECT_EQ(h.web.moveFocusCalls, 0);
  h.app->startWeb();
  h.web.completeAll();

  h.desk.windowRect = {0, 0, 800, 600};
  h.app->onSize();
  EXPECT_EQ(h.web.bounds, std::make_pair(800, 600));
  h.app->onSetFocus();
  EXPECT_EQ(h.web.moveFocusCalls, 1);

  h.desk.monitors[0].workArea = {0, 0, 1920, 1000};
  h.desk.scale = 2;
  h.app->onWorkAreaChanged();
  EXPECT_EQ(h.desk.windowRect, (ScreenRect{0, 0, 1920, 1000}));
  EXPECT_EQ(h.web.bounds, std::make_pair(1920, 1000));
  EXPECT_EQ(h.app->pageScale, 2);
  const auto moved = h.web.notifyParentMovedCalls;
  h.app->onDpiChanged();
  h.app->onDisplayChanged();
  EXPECT_EQ(h.web.notifyParentMovedCalls, moved + 2);

  h.app->onTaskbarCreated();
  EXPECT_EQ(h.desk.trayAdds, 1);
  h.app->onCompositionChanged();
  EXPECT_EQ(h.desk.transparencyCalls, 1);

  h.app->onSessionChange(true);
  EXPECT_TRUE(h.app->sessionLocked);
  h.app->onSessionChange(false);
  EXPECT_FALSE(h.app->sessionLocked);
}

TEST(AppMessages, FirstUpdateTimerFiresOnce) {
  AppHarness h;
  h.app->updateChecking = true;  // a check already runs: the ticks start no worker
  h.desk.startTimer(kTimerFirstUpdate, kFirstUpdateDelayMs);
  h.desk.startTimer(kTimerUpdate, kUpdateIntervalMs);
  h.app->onTimer(kTimerFirstUpdate);
  EXPECT_EQ(h.desk.activeTimers(), std::vector<int>{kTimerUpdate});
  h.app->onTimer(kTimerUpdate);
  EXPECT_EQ(h.desk.activeTimers(), std::vector<int>{kTimerUpdate});
}

TEST(AppMessages, DestroyThenTeardown) {
  AppHarness h;
  h.webUp();
  for (int id : {1, 2, 3, 5, 4}) h.desk.startTimer(id, 1000);
  h.desk.addTrayIcon();
  h.desk.registerSessionNotifications();
  h.app->onClose();
  EXPECT_TRUE(h.app->closing);
  EXPECT_FALSE(h.desk.trayPresent);
  EXPECT_FALSE(h.desk.sessionRegistered);
  EXPECT_EQ(h.desk.activeTimers(), (std::vector<int>{5, 4}));  // those end with the window
  EXPECT_EQ(h.desk.quitCode, 0);
  h.app.reset();
  EXPECT_EQ(h.web.closeControllerCalls, 1);
  EXPECT_EQ(h.web.releaseAllCalls, 1);
  EXPECT_EQ(h.web.events, nullptr);
}

TEST(AppMessages, HideForAnHourAndShowCancels) {
  AppHarness h;
  h.windowUp();
  h.app->show();
  h.app->hide();  // no web view: no blur script
  EXPECT_TRUE(h.web.scripts.empty());
  EXPECT_FALSE(h.desk.visible);
  EXPECT_EQ(h.app->hideUntil, h.desk.tick + 3600000);
  h.desk.advance(3599999);
  h.app->onTimer(kTimerIdle);
  EXPECT_FALSE(h.desk.visible);
  h.desk.advance(1);
  h.app->onTimer(kTimerIdle);
  EXPECT_TRUE(h.desk.visible);
  EXPECT_EQ(h.app->hideUntil, 0u);
}

}  // namespace
