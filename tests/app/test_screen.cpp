// The remembered monitor and screen.txt, against the fake desktop.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/App.h"
#include "support/FakeDesktop.h"
#include "support/FakeWebHost.h"

namespace {

struct ScreenFixture : ::testing::Test {
  FakeDesktop desk;
  FakeWebHost web;
  App app{desk, web};

  ScreenFixture() {
    desk.windowAlive = true;
    app.dataDir = desk.temp().path();
    desk.monitors = {FakeDesktop::standardMonitor(1, 0, "\\\\.\\DISPLAY1"),
                     FakeDesktop::standardMonitor(2, 1920, "\\\\.\\DISPLAY2"),
                     FakeDesktop::standardMonitor(3, 3840, "\\\\.\\DISPLAY3")};
  }

  std::filesystem::path file() const { return app.dataDir / "screen.txt"; }

  void writeFile(const std::string& bytes) { std::ofstream(file(), std::ios::binary) << bytes; }

  std::string readFile() const {
    std::ifstream in(file(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(ScreenFixture, SavedNameChoosesTheMonitor) {
  const struct {
    const char* content;
    bool fileExists;
    MonitorHandle expected;
  } cases[] = {
      {"\\\\.\\DISPLAY2", true, 2},
      {"\\\\.\\DISPLAY3", true, 3},
      {"", false, 1},
      {"", true, 1},
      {"\\\\.\\DISPLAY9", true, 1},      // unplugged
      {"\\\\.\\DISPLAY2\n", true, 1},    // edited by hand: no trimming
      {"\\\\.\\DISPLAY2\r\n", true, 1},
      {"\\\\.\\display2", true, 1},      // no case folding
      {"\xEF\xBB\xBF\\\\.\\DISPLAY2", true, 1},  // a byte-order mark is part of the name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "content " << testing::PrintToString(std::string(c.content)));
    std::filesystem::remove(file());
    if (c.fileExists) writeFile(c.content);
    App fresh{desk, web};
    fresh.dataDir = app.dataDir;
    EXPECT_EQ(fresh.currentMonitor(), c.expected);
    if (c.fileExists) { EXPECT_EQ(readFile(), c.content); }  // never rewritten by a lookup
    EXPECT_EQ(std::filesystem::exists(file()), c.fileExists);
  }
}

TEST_F(ScreenFixture, AbsentMonitorIsKeptAndUsedWhenItReturns) {
  desk.primaryIndex = 1;
  writeFile("\\\\.\\DISPLAY3");
  const FakeMonitor third = desk.monitors[2];
  desk.monitors.pop_back();
  EXPECT_EQ(app.currentMonitor(), 2u);  // the primary
  EXPECT_EQ(toNarrow(app.savedMonitorName), "\\\\.\\DISPLAY3");
  desk.monitors.push_back(third);
  EXPECT_EQ(app.currentMonitor(), 3u);
  EXPECT_EQ(readFile(), "\\\\.\\DISPLAY3");
  writeFile("\\\\.\\DISPLAY2");  // read once per run
  EXPECT_EQ(app.currentMonitor(), 3u);
}

TEST_F(ScreenFixture, NextMonitorCyclesInTheMonitorOrder) {
  writeFile("\\\\.\\DISPLAY3");
  const MonitorHandle expected[] = {1, 2, 3, 1};
  const char* names[] = {"\\\\.\\DISPLAY1", "\\\\.\\DISPLAY2", "\\\\.\\DISPLAY3", "\\\\.\\DISPLAY1"};
  for (int i = 0; i < 4; ++i) {
    app.moveToNextMonitor();
    EXPECT_EQ(app.currentMonitor(), expected[i]);
    EXPECT_EQ(readFile(), names[i]);  // no line break: the size is the name's length
    EXPECT_EQ(desk.windowRect, desk.monitors[expected[i] - 1].workArea);
  }
}

TEST_F(ScreenFixture, OneMonitorChangesNothing) {
  desk.monitors.resize(1);
  app.moveToNextMonitor();
  EXPECT_FALSE(std::filesystem::exists(file()));
  EXPECT_TRUE(desk.rectsSet.empty());
}

TEST_F(ScreenFixture, MoveWritesTheNameInUtf8AndReplacesTheFile) {
  writeFile("a much longer name than any monitor has, so truncation shows");
  desk.monitors[1].deviceName = toWide("显示器 2");
  app.moveToMonitor(2);
  EXPECT_EQ(readFile(), "显示器 2");
  App next{desk, web};
  next.dataDir = app.dataDir;
  EXPECT_EQ(next.currentMonitor(), 2u);
}

TEST_F(ScreenFixture, UnreadableMonitorIsPassedOverAndNeverRemembered) {
  // A monitor whose information cannot be read reports an empty name; with no file it must not
  // win over the primary.
  desk.monitors[0].deviceName.clear();
  desk.primaryIndex = 2;
  EXPECT_EQ(app.currentMonitor(), 3u);
  app.moveToMonitor(1);
  EXPECT_FALSE(std::filesystem::exists(file()));
  EXPECT_TRUE(desk.rectsSet.empty());
  app.moveToNextMonitor();
  EXPECT_EQ(app.currentMonitor(), 2u);
  app.moveToNextMonitor();
  EXPECT_EQ(app.currentMonitor(), 3u);
}

TEST_F(ScreenFixture, UnwritableFileKeepsTheChoiceForThisRun) {
  app.dataDir = desk.temp().path() / "missing-folder";
  app.moveToMonitor(3);
  EXPECT_EQ(app.currentMonitor(), 3u);
  EXPECT_FALSE(std::filesystem::exists(app.dataDir));
}

}  // namespace
