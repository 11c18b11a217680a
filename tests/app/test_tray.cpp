// Tray events, the tray menu and its commands, and the autostart switch, against the fakes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/App.h"
#include "app/TrayClicks.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

namespace {

struct TrayFixture : ::testing::Test {
  FakeDesktop desk;
  FakeWebHost web;
  App app{desk, web};

  TrayFixture() {
    desk.windowAlive = true;
    desk.visible = true;
    web.environment = web.controller = web.webView = true;
    app.dataDir = desk.temp().path();
    app.serverOrigin = toWide("https://desk.example");
    app.pageUrl = toWide("https://desk.example/_desk.html");
  }

  std::vector<int> menuIds() const {
    std::vector<int> ids;
    for (const auto& item : desk.trayMenu.items) ids.push_back(item.separator ? -1 : item.id);
    return ids;
  }

  const MenuItem* item(int id) const {
    for (const auto& i : desk.trayMenu.items)
      if (!i.separator && i.id == id) return &i;
    return nullptr;
  }
};

TEST_F(TrayFixture, MenuWithOneAndWithTwoMonitors) {
  app.showTrayMenu();
  EXPECT_EQ(menuIds(), (std::vector<int>{100, 102, 101, -1, 103, -1, 104}));
  const std::pair<int, const char*> texts[] = {
      {100, "藏起来 1 小时"}, {102, "打开在线Tamsel网页"}, {101, "重新加载"}, {103, "开机自动打开"}, {104, "退出"}};
  for (const auto& [id, text] : texts) {
    ASSERT_NE(item(id), nullptr) << id;
    EXPECT_EQ(toNarrow(item(id)->text), text);
  }

  desk.monitors.push_back(FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2"));
  app.showTrayMenu();
  EXPECT_EQ(menuIds(), (std::vector<int>{100, 102, 101, 105, -1, 103, -1, 104}));
  EXPECT_EQ(toNarrow(item(105)->text), "移到下一块屏幕");

  desk.visible = false;
  app.showTrayMenu();
  EXPECT_EQ(toNarrow(item(100)->text), "显示小屋");
}

TEST_F(TrayFixture, CheckMarkFollowsTheStore) {
  for (bool on : {true, false, true}) {
    desk.autostart = on;
    app.showTrayMenu();
    for (const auto& i : desk.trayMenu.items) EXPECT_EQ(i.checked, on && !i.separator && i.id == 103) << i.id;
  }
}

TEST_F(TrayFixture, TheMenuIsHandedOutWhenWhatItShowsChanges) {
  const struct {
    const char* change;
    std::function<void()> act;
    bool visible;
    std::size_t items;
    bool ticked;
  } cases[] = {
      {"hidden", [&] { app.hide(); }, false, 7, false},
      {"second monitor", [&] { desk.monitors.push_back(FakeDesktop::standardMonitor(2, 1920)); app.onDisplayChanged(); },
       false, 8, false},
      {"autostart on", [&] { app.setAutostart(true); }, false, 8, true},
      {"shown", [&] { app.show(); }, true, 8, true},
  };
  for (const auto& c : cases) {
    c.act();
    EXPECT_EQ(desk.trayMenu.windowVisible, c.visible) << c.change;
    EXPECT_EQ(desk.trayMenu.items.size(), c.items) << c.change;
    EXPECT_EQ(item(IDM_AUTOSTART)->checked, c.ticked) << c.change;
    EXPECT_TRUE(item(IDM_AUTOSTART)->checkable) << c.change;
  }
  EXPECT_EQ(desk.menuShows, 0);  // handing a menu out never pops it up
}

TEST_F(TrayFixture, TrayEvents) {
  const struct {
    TrayEvent event;
    bool visible;
    int menus;
    bool visibleAfter;
  } cases[] = {
      {TrayEvent::Select, true, 1, true},         {TrayEvent::KeySelect, true, 1, true},
      {TrayEvent::Select, false, 0, true},        {TrayEvent::KeySelect, false, 0, true},
      {TrayEvent::RightButtonUp, false, 1, false}, {TrayEvent::ContextMenu, true, 1, true},
      {TrayEvent::Other, false, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.event));
    desk.visible = c.visible;
    desk.menuShows = 0;
    app.hideUntil = c.visible ? 0 : desk.tick + 3600000;
    app.onTrayEvent(c.event);
    EXPECT_EQ(desk.menuShows, c.menus);
    EXPECT_EQ(desk.visible, c.visibleAfter);
    if (!c.visible && c.visibleAfter) { EXPECT_EQ(app.hideUntil, 0u); }  // the pending return is cancelled
  }
}

TEST(TrayClicks, EachGestureCountsOnce) {
  using N = TrayNotice;
  using E = TrayEvent;
  const struct {
    const char* gesture;
    bool version4;
    std::vector<std::pair<N, std::uint64_t>> notices;  // with their ticks
    std::vector<E> acted;
  } cases[] = {
      {"left click", true, {{N::LeftButtonUp, 0}, {N::Select, 1}}, {E::Select}},
      {"right click", true, {{N::RightButtonUp, 0}, {N::ContextMenu, 1}}, {E::ContextMenu}},
      {"Enter", true, {{N::KeySelect, 0}, {N::KeySelect, 2}}, {E::KeySelect}},
      {"Enter twice", true, {{N::KeySelect, 0}, {N::KeySelect, 2}, {N::KeySelect, 900}, {N::KeySelect, 901}},
       {E::KeySelect, E::KeySelect}},
      {"left click, no version 4", false, {{N::LeftButtonUp, 0}}, {E::Select}},
      {"right click, no version 4", false, {{N::RightButtonUp, 0}}, {E::RightButtonUp}},
      {"hover", true, {{N::Other, 0}}, {}},
  };
  for (const auto& c : cases) {
    TrayClicks clicks;
    clicks.setVersion4(c.version4);
    std::vector<E> acted;
    for (const auto& [notice, tick] : c.notices)
      if (const E e = clicks.accept(notice, 10000 + tick); e != E::Other) acted.push_back(e);
    EXPECT_EQ(acted, c.acted) << c.gesture;
  }
}

TEST_F(TrayFixture, EveryCommand) {
  desk.menuAnswer = IDM_SHOW_HIDE;
  app.showTrayMenu();
  EXPECT_FALSE(desk.visible);
  EXPECT_EQ(app.hideUntil, desk.tick + 3600000);
  app.showTrayMenu();
  EXPECT_TRUE(desk.visible);
  EXPECT_EQ(app.hideUntil, 0u);
  // An exported menu's "hide" clicked after the page hid the window still hides, never shows.
  desk.visible = false;
  app.onTrayMenuChoice(IDM_SHOW_HIDE, true);
  EXPECT_FALSE(desk.visible);
  EXPECT_EQ(app.hideUntil, desk.tick + 3600000);
  app.onTrayMenuChoice(IDM_SHOW_HIDE, false);
  EXPECT_TRUE(desk.visible);

  desk.menuAnswer = IDM_OPEN_SITE;
  app.showTrayMenu();
  EXPECT_EQ(desk.openedAddresses, std::vector<WString>{toWide("https://desk.example/")});

  app.hitRects = {{1, 2, 3, 4}};
  app.reloadAt = desk.tick + 5;
  desk.menuAnswer = IDM_RELOAD;
  app.showTrayMenu();
  EXPECT_TRUE(app.hitRects.empty());
  EXPECT_EQ(app.reloadAt, 0u);
  EXPECT_EQ(web.navigations, std::vector<WString>{app.pageUrl});

  desk.menuAnswer = IDM_AUTOSTART;
  app.showTrayMenu();
  app.showTrayMenu();
  EXPECT_EQ(desk.autostartSets, (std::vector<bool>{true, false}));
  EXPECT_FALSE(desk.autostart);
  EXPECT_TRUE(desk.boxes.empty());

  desk.monitors.push_back(FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2"));
  desk.menuAnswer = IDM_NEXT_SCREEN;
  app.showTrayMenu();
  EXPECT_EQ(app.currentMonitor(), 2u);
  EXPECT_EQ(desk.windowRect, desk.monitors[1].workArea);

  desk.menuAnswer = 0;  // dismissed
  app.showTrayMenu();
  EXPECT_TRUE(desk.windowAlive);
  desk.menuAnswer = IDM_EXIT;
  app.showTrayMenu();
  EXPECT_FALSE(desk.windowAlive);
}

TEST_F(TrayFixture, StoreRefusalShowsTheErrorBox) {
  app.setAutostart(false);  // off when already absent is no error
  EXPECT_TRUE(desk.boxes.empty());

  desk.autostartRefuses = true;
  for (bool enable : {true, false}) {
    desk.boxes.clear();
    app.setAutostart(enable);
    ASSERT_EQ(desk.boxes.size(), 1u);
    EXPECT_EQ(toNarrow(desk.boxes[0].text), "无法保存开机启动设置。");
    EXPECT_EQ(desk.boxes[0].icon, MessageIcon::Error);
    EXPECT_TRUE(desk.boxes[0].owned);
  }
}

}  // namespace
