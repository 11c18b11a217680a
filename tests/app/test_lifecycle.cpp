// One whole run through runShell: start, page loaded, page messages, callbacks, shutdown.
#include <gtest/gtest.h>

#include <thread>

#include "app/App.h"
#include "app/RunShell.h"
#include "support/DeskServer.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"
#include "web/Callbacks.h"

namespace {

TEST(Lifecycle, StartLoadMessagesCallbacksShutdown) {
  FakeDesktop desk;
  FakeWebHost web;
  DeskServer server;  // the origin the shell is pointed at, as in a first run of a backend
  desk.arguments = {toWide("--server=" + server.origin() + "/")};
  const std::string page = server.origin() + "/_desk.html";
  bool ran = false;

  desk.loopBody = [&] {
    App& app = dynamic_cast<App&>(*desk.events);
    // The runtime completes environment, controller and bridge registration.
    web.completeAll();
    ASSERT_TRUE(desk.visible);
    ASSERT_EQ(web.navigations, std::vector<WString>{toWide(page)});
    ASSERT_TRUE(web.fireNavigationStarting(page));
    web.fireNavigationCompleted(true);

    // The page reports a shape under the cursor and a zone; the pointer tick makes it clickable.
    web.fireWebMessage(page, R"({"t":"hits","rects":[[10,10,50,50]],"zone":[0,0,100,100],"scale":1})");
    desk.cursor = {20, 20};
    app.onTimer(kTimerPointer);
    EXPECT_FALSE(desk.clickThrough);
    EXPECT_EQ(toNarrow(web.scripts.back()), "window.deskHover?.(true)");

    // A worker reports progress; the main loop runs it.
    std::thread([&] { app.postScript(lanProgressScript("dl'1", 50, 2048)); }).join();
    desk.pump(app);
    EXPECT_EQ(toNarrow(web.scripts.back()), "window.deskLanProgress && window.deskLanProgress('dl\\'1', 50, 2048)");

    // The user quits from the tray.
    desk.menuAnswer = IDM_EXIT;
    app.onTrayEvent(TrayEvent::RightButtonUp);
    EXPECT_TRUE(app.closing);
    // What was still queued is not run.
    app.postScript(toWide("never()"));
    PayloadPtr none;
    desk.post(WM_UPDATE_STATE, 1, none);
    const auto count = web.scripts.size();
    desk.pump(app);
    EXPECT_EQ(web.scripts.size(), count);
    ran = true;
  };

  EXPECT_EQ(runShell(desk, web), 0);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(desk.boxes.empty());
  EXPECT_EQ(desk.trayAdds, 1);
  EXPECT_EQ(desk.trayRemoves, 1);
  EXPECT_EQ(desk.sessionUnregisterCalls, 1);
  EXPECT_EQ(desk.activeTimers(), (std::vector<int>{kTimerFirstUpdate, kTimerUpdate}));
  EXPECT_EQ(web.releaseAllCalls, 1);
  EXPECT_EQ(web.events, nullptr);
  EXPECT_FALSE(desk.windowAlive);
}

}  // namespace
