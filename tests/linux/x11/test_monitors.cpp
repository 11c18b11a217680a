// Two monitors side by side under a window manager (Xorg's dummy outputs DUMMY0 and DUMMY1,
// openbox): a screen drag and the tray's next-screen command move the window to the other
// monitor at once, the page hears positions relative to where the window now is, and panels
// that appear, move or go are followed.
#include <signal.h>

#include <fstream>
#include <iterator>

#include "ShellHarness.h"
#include "StatusNotifierHost.h"

namespace {

std::string screenChoice(const ShellHarness& shell) {
  std::ifstream in(shell.home().path() / "data/TamselDeskNative/screen.txt", std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(X11DesktopTest, DragNextScreenAndPanelsOnTwoMonitorsUnderAWindowManager) {
  if (const std::string why = XSession::twoMonitorsUnavailable(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir("twomonitors");
  XSession twin(dir.path().string(), XSessionOptions{.twoMonitors = true});
  ASSERT_TRUE(twin.ok()) << "the two-monitor X server did not start";
  ShellHarness shell(twin.environment());
  XProbe screen(twin.display());
  StatusNotifierHost tray(twin.busAddress());
  ASSERT_TRUE(tray.owned());
  ASSERT_TRUE(shell.startShell());
  const auto window = screen.shellWindow();
  ASSERT_TRUE(window);
  const XProbe::Area first{0, 0, 1280, 800};
  const XProbe::Area second{1280, 0, 1280, 800};
  ASSERT_TRUE(waitUntil([&] { return screen.area(*window) == first; }, 5000));

  {
    SCOPED_TRACE("a screen drag onto the second monitor");
    ASSERT_TRUE(shell.command("deskSend({ t: 'screenDrag', on: true }); 'dragging'"));
    // The window manager is held, as a busy one would be, so the move is not applied yet when
    // the page hears of it.
    kill(twin.windowManager(), SIGSTOP);
    ASSERT_TRUE(xdotool(twin.display(), {"mousemove", "1580", "200"}));
    const bool heard = waitUntil([&] { return !shell.callbacks("deskScreenMoved").empty(); }, 5000);
    kill(twin.windowManager(), SIGCONT);
    ASSERT_TRUE(heard);
    // Relative to the window on the second monitor, not to where it was before the move.
    EXPECT_EQ(shell.callbacks("deskScreenMoved").front(), Json::array({300, 200}));
    EXPECT_TRUE(waitUntil([&] { return screen.area(*window) == second; }, 5000));
    EXPECT_EQ(screenChoice(shell), "DUMMY1");
    ASSERT_TRUE(shell.command("deskSend({ t: 'screenDrag', on: false }); 'dropped'"));
  }
  {
    SCOPED_TRACE("the tray's next-screen command");
    ASSERT_TRUE(waitUntil([&] { return tray.click("移到下一块屏幕"); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return screen.area(*window) == first; }, 5000));
    EXPECT_EQ(screenChoice(shell), "DUMMY0");
    // The shape is where the page drew it on this monitor, and takes the click there.
    ASSERT_TRUE(xdotool(twin.display(), {"mousemove", "180", "160"}));
    ASSERT_TRUE(waitUntil([&] { return !shell.callbacks("deskHover").empty(); }, 5000));
    // Under load the click can come before the window took the mouse again after its move;
    // a person would click again.
    for (int attempt = 0; attempt < 3 && shell.count("click") == 0; ++attempt) {
      ASSERT_TRUE(xdotool(twin.display(), {"click", "1"}));
      waitUntil([&] { return shell.count("click") > 0; }, 3000);
    }
    ASSERT_EQ(shell.count("click"), 1);
    EXPECT_EQ(shell.records("click").front()["data"].value("x", 0), 180);
  }
  {
    SCOPED_TRACE("a panel appears at the top, moves to the bottom, and goes");
    auto panel = std::make_unique<Panel>(twin.display(), 40);
    EXPECT_TRUE(waitUntil([&] { return screen.area(*window) == XProbe::Area{0, 40, 1280, 760}; }, 5000));
    panel->moveTo(false);
    EXPECT_TRUE(waitUntil([&] { return screen.area(*window) == XProbe::Area{0, 0, 1280, 760}; }, 5000));
    panel.reset();
    EXPECT_TRUE(waitUntil([&] { return screen.area(*window) == first; }, 5000));
  }
}
