// Pointer tick, click-through rules, hover, activity and idle reports, against the fakes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/App.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

namespace {

struct PointerFixture : ::testing::Test {
  FakeDesktop desk;
  FakeWebHost web;
  App app{desk, web};

  PointerFixture() {
    desk.windowAlive = true;
    desk.visible = true;
    desk.windowRect = desk.monitors[0].workArea;
    web.environment = web.controller = web.webView = true;
    app.dataDir = desk.temp().path();
  }

  // One tick with the cursor at a client position of the window.
  void tickAt(int clientX, int clientY, bool buttons = false) {
    desk.cursor = {desk.windowRect.left + clientX, desk.windowRect.top + clientY};
    desk.buttonsDown = buttons;
    app.pointerTick();
  }

  std::vector<std::string> scripts() const {
    std::vector<std::string> out;
    for (const auto& s : web.scripts) out.push_back(toNarrow(s));
    return out;
  }
};

TEST_F(PointerFixture, ShapeMarginInPagePixels) {
  // Shape (100, 100) 10 by 10; the margin of 2 page pixels widens it to 98..112.
  const struct {
    double scale;
    int x, y;
    bool clickable;
  } cases[] = {
      {1.0, 98, 105, true},   {1.0, 97, 105, false}, {1.0, 112, 105, true}, {1.0, 113, 105, false},
      {1.0, 105, 98, true},   {1.0, 105, 97, false}, {1.0, 105, 112, true}, {1.0, 105, 113, false},
      {1.5, 147, 147, true},  {1.5, 168, 168, true}, {1.5, 146, 150, false}, {1.5, 169, 150, false},
      {1.5, 150, 146, false}, {1.5, 150, 169, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << c.scale << " at " << c.x << "," << c.y);
    app.pageScale = c.scale;
    app.hitRects = {{0, 0, 5, 5}, {100, 100, 10, 10}};
    app.setClickThrough(true);
    tickAt(c.x, c.y);
    EXPECT_EQ(app.clickThrough, !c.clickable);
    EXPECT_EQ(desk.clickThrough, !c.clickable);
  }
}

TEST_F(PointerFixture, FileDropMarginAroundTheZone) {
  // Zone (200, 200) 50 by 50: 188..262 while a file is dragged.
  const struct {
    bool dragging, zoneValid;
    int x;
    bool clickable;
  } cases[] = {
      {true, true, 188, true}, {true, true, 187, false}, {true, true, 262, true},  {true, true, 263, false},
      {false, true, 190, false}, {true, false, 225, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "dragging " << c.dragging << " valid " << c.zoneValid << " x " << c.x);
    app.zoneRect = {200, 200, 50, 50};
    app.zoneValid = c.zoneValid;
    app.fileDragging = c.dragging;
    app.setClickThrough(true);
    tickAt(c.x, 225);
    EXPECT_EQ(app.clickThrough, !c.clickable);
  }
}

TEST_F(PointerFixture, PressOnAShapeHoldsUntilReleasePressOnTheDesktopDoesNot) {
  struct Step {
    int x;
    bool buttons, pageReportsPress;  // a "press" message with down true arrives before the tick
    bool clickable;
  };
  const std::vector<std::vector<Step>> runs = {
      // Pressed on the shape and dragged off: still the page's drag until released.
      {{105, false, false, true}, {105, true, true, true}, {300, true, false, true}, {600, true, false, true},
       {600, false, false, false}},
      // Pressed on the desktop, moved onto the shape (clickable at once), and off again.
      {{300, true, false, false}, {105, true, false, true}, {300, true, false, false}},
  };
  app.hitRects = {{100, 100, 10, 10}};
  for (std::size_t r = 0; r < runs.size(); ++r) {
    for (std::size_t i = 0; i < runs[r].size(); ++i) {
      SCOPED_TRACE(testing::Message() << "run " << r << " step " << i);
      if (runs[r][i].pageReportsPress) app.pressDown = true;
      tickAt(runs[r][i].x, 105, runs[r][i].buttons);
      EXPECT_EQ(app.clickThrough, !runs[r][i].clickable);
    }
    EXPECT_FALSE(app.pressDown);
  }
}

TEST_F(PointerFixture, StyleChangesOnlyWhenClickThroughFlips) {
  app.hitRects = {{100, 100, 10, 10}};
  for (int i = 0; i < 5; ++i) tickAt(105, 105);
  for (int i = 0; i < 5; ++i) tickAt(500, 500);
  EXPECT_EQ(desk.clickThroughSet, (std::vector<bool>{false, true}));
}

TEST_F(PointerFixture, HiddenOrWithoutWebViewDoesNothing) {
  app.hitRects = {{100, 100, 10, 10}};
  app.zoneValid = true;
  app.zoneRect = {100, 100, 10, 10};
  desk.visible = false;
  tickAt(105, 105);
  desk.visible = true;
  web.webView = false;
  tickAt(105, 105);
  EXPECT_TRUE(app.clickThrough);
  EXPECT_FALSE(app.hovering);
  EXPECT_TRUE(desk.clickThroughSet.empty());
}

TEST_F(PointerFixture, OneHoverCallbackPerCrossing) {
  app.zoneValid = true;
  app.zoneRect = {50, 50, 20, 20};
  const int xs[] = {10, 50, 60, 70, 71, 90, 60};  // edges 50 and 70 are inside
  for (int x : xs) tickAt(x, 60);
  EXPECT_EQ(scripts(), (std::vector<std::string>{"window.deskHover?.(true)", "window.deskHover?.(false)",
                                                 "window.deskHover?.(true)"}));

  // A "hits" message moves the zone away under the still cursor: the next tick reports it.
  web.scripts.clear();
  app.zoneRect = {400, 400, 20, 20};
  tickAt(60, 60);
  tickAt(60, 60);
  EXPECT_EQ(scripts(), (std::vector<std::string>{"window.deskHover?.(false)"}));
}

TEST_F(PointerFixture, ActivityKinds) {
  const struct {
    bool locked;
    std::uint32_t idleMs;
    std::uint64_t sinceMoveMs;  // 0: never moved
    const char* script;
  } cases[] = {
      {true, 0, 10, "window.deskAct?.('lock')"},
      {true, 60000, 10, "window.deskAct?.('lock')"},
      {false, 4000, 10, "window.deskAct?.('')"},
      {false, 3999, 3999, "window.deskAct?.('mouse')"},
      {false, 3999, 4000, "window.deskAct?.('type')"},
      {false, 100, 0, "window.deskAct?.('type')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    app.onSessionChange(c.locked);
    desk.idleMs = c.idleMs;
    app.lastMoveTick = c.sinceMoveMs == 0 ? 0 : desk.tick - c.sinceMoveMs;
    app.activityTick(true);
    EXPECT_EQ(web.lastScript(), c.script);
  }
}

TEST_F(PointerFixture, IdleReportInWholeSeconds) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0, "window.deskIdle?.(0)"}, {999, "window.deskIdle?.(0)"}, {12999, "window.deskIdle?.(12)"},
      {4294967295u, "window.deskIdle?.(4294967)"}};
  for (const auto& [ms, script] : cases) {
    desk.idleMs = ms;
    app.activityTick(false);
    EXPECT_EQ(web.lastScript(), script);
  }
}

TEST_F(PointerFixture, TimedHideAndDueReloadHappenAtTheNextActivityTick) {
  desk.visible = false;
  app.hideUntil = desk.tick + 100;
  app.reloadAt = desk.tick + 100;
  app.pageUrl = toWide("https://desk.example/_desk.html");
  app.activityTick(true);
  EXPECT_FALSE(desk.visible);
  EXPECT_TRUE(web.navigations.empty());
  desk.advance(100);
  app.activityTick(false);
  EXPECT_TRUE(desk.visible);
  EXPECT_EQ(app.hideUntil, 0u);
  EXPECT_EQ(app.reloadAt, 0u);
  EXPECT_EQ(web.navigations, std::vector<WString>{app.pageUrl});
}

TEST_F(PointerFixture, ScreenDragMovesTheWindowAndReportsTheNewPosition) {
  desk.monitors.push_back(FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2"));
  app.placeWindow();
  ASSERT_EQ(desk.windowRect, desk.monitors[0].workArea);
  desk.scale = 1.5;
  app.screenDragging = true;

  desk.cursor = {1900, 300};  // still on the first monitor
  app.pointerTick();
  EXPECT_TRUE(web.scripts.empty());

  desk.cursor = {2000, 50};
  app.pointerTick();
  EXPECT_EQ(desk.windowRect, desk.monitors[1].workArea);
  EXPECT_EQ(scripts().front(), "window.deskScreenMoved?.(53.333333,33.333333)");
  std::ifstream in(app.dataDir / "screen.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\\\\.\\DISPLAY2");

  // A monitor that cannot be identified is not moved to, and no crossing is reported.
  FakeMonitor unnamed = FakeDesktop::standardMonitor(3, 3840, "");
  desk.monitors.push_back(unnamed);
  web.scripts.clear();
  desk.cursor = {4000, 50};
  app.pointerTick();
  app.pointerTick();
  EXPECT_EQ(desk.windowRect, desk.monitors[1].workArea);
  EXPECT_TRUE(web.scripts.empty());
}

TEST_F(PointerFixture, FocusInputTakesTheMouseAndTheForeground) {
  app.focusInput();
  EXPECT_FALSE(app.clickThrough);
  EXPECT_EQ(desk.setForegroundCalls, 1);
  app.focusInput();  // already in front
  EXPECT_EQ(desk.setForegroundCalls, 1);

  app.setClickThrough(true);
  desk.visible = false;  // a hidden window takes nothing
  app.focusInput();
  EXPECT_TRUE(app.clickThrough);
}

}  // namespace
