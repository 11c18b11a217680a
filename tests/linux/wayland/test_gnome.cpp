// The shell on GNOME's compositor on Wayland (headless mutter), which offers no layer shell: an
// X window through XWayland, cut to the page's shapes and zone, so a Wayland window beneath gets
// every click outside them, before and while the page's panel is open.
#include "MutterSession.h"
#include "PressLogger.h"
#include "ShellHarness.h"

TEST(GnomeWaylandTest, WaylandWindowsBeneathGetTheClicksBesideThePage) {
  if (const std::string why = MutterSession::unavailable(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir("mutter");
  MutterSession gnome(dir.path().string());
  ASSERT_TRUE(gnome.ok()) << "headless mutter did not start; see " << dir.path() << "/mutter.log";

  PressLogger native(gnome.environment(), "wayland", (dir / "native.log").string());
  ASSERT_TRUE(waitUntil([&] { return native.mapped(); }, 10000)) << native.lines();
  // A window is shown a little before it takes input: clicked until it hears one.
  ASSERT_TRUE(waitUntil([&] { return native.presses() > 0 || !gnome.click(600, 200); }, 10000));
  ASSERT_GT(native.presses(), 0u);

  ShellHarness shell(gnome.environment());
  ASSERT_TRUE(shell.startShell()) << shell.output();
  // The pointer is heard over the page's window only: once it is, the window stands there.
  int wiggle = 0;
  ASSERT_TRUE(waitUntil([&] { return gnome.point(180 + (++wiggle % 2), 160) && !shell.callbacks("deskHover").empty(); },
                        10000));
  ASSERT_TRUE(gnome.click(180, 160));
  ASSERT_TRUE(waitUntil([&] { return shell.count("click") == 1; }, 5000));
  EXPECT_EQ(shell.records("click").front()["data"].value("x", 0), 180);

  for (auto [x, y] : {std::pair{600, 200}, {300, 300}, {1000, 700}}) {
    const std::size_t before = native.presses();
    ASSERT_TRUE(gnome.click(x, y));
    ASSERT_TRUE(waitUntil([&] { return native.presses() == before + 1; }, 5000)) << x << "," << y;
  }
  EXPECT_EQ(shell.count("click"), 1u);
}
