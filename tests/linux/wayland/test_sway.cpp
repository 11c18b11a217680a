// The shell on a Wayland compositor with the layer shell (headless sway): an overlay surface
// above the application windows, that takes neither their clicks outside its shapes nor the
// keyboard, whether the window beneath is a Wayland one or an X one (through XWayland), and hears
// the idle time from the compositor.
#include "PressLogger.h"
#include "ShellHarness.h"
#include "SwaySession.h"

namespace {

// The name of the node in sway's tree that has the keyboard focus.
std::string focusedName(const Json& node) {
  if (!node.is_object()) return {};
  if (jsonIsTrue(node, "focused")) return jsonString(node, "name").value_or("");
  for (const char* key : {"nodes", "floating_nodes"}) {
    if (const Json* children = jsonArray(node, key)) {
      for (const Json& child : *children) {
        if (std::string name = focusedName(child); !name.empty()) return name;
      }
    }
  }
  return {};
}

}  // namespace

TEST(SwayDesktopTest, AboveWaylandAndXWindowsTakingOnlyTheShapesClicks) {
  if (const std::string why = SwaySession::unavailable(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir("sway");
  SwaySession sway(dir.path().string());
  ASSERT_TRUE(sway.ok()) << "headless sway did not start; see " << dir.path() << "/sway.log";

  // sway tiles them side by side: the Wayland window on the left half, the X one on the right.
  PressLogger native(sway.environment(), "wayland", (dir / "native.log").string());
  ASSERT_TRUE(waitUntil([&] { return native.mapped(); }, 10000)) << native.lines();
  PressLogger x11(sway.environment(), "x11", (dir / "x11.log").string());
  ASSERT_TRUE(waitUntil([&] { return x11.mapped(); }, 10000)) << x11.lines();
  ASSERT_TRUE(sway.click(900, 400));
  ASSERT_TRUE(waitUntil([&] { return x11.presses() == 1; }, 5000));

  ShellHarness shell(sway.environment());
  ASSERT_TRUE(shell.startShell({"GDK_BACKEND=wayland"})) << shell.output();
  // A layer surface, not a window of the tree: nothing is tiled beside it and nothing covers it.
  EXPECT_EQ(sway.ask("get_tree").find("在线Tamsel"), std::string::npos);

  // The page's shape (100,100 to 260,220) takes its click; the Wayland window beneath gets none.
  // Once the page has said where its shape is, the pointer over it is heard (and nowhere else).
  int wiggle = 0;
  ASSERT_TRUE(waitUntil([&] { return sway.point(180 + (++wiggle % 2), 160) && !shell.callbacks("deskHover").empty(); },
                        10000));
  ASSERT_TRUE(sway.click(180, 160));
  ASSERT_TRUE(waitUntil([&] { return shell.count("click") == 1; }, 5000));
  EXPECT_TRUE(shell.records("click").front()["data"].value("onShape", false));
  EXPECT_EQ(native.presses(), 0u);

  // Everywhere else the clicks go through, to either kind of window, one after another.
  ASSERT_TRUE(sway.click(400, 500));
  ASSERT_TRUE(waitUntil([&] { return native.presses() == 1; }, 5000));
  ASSERT_TRUE(sway.click(180, 160));
  ASSERT_TRUE(waitUntil([&] { return shell.count("click") == 2; }, 5000));
  ASSERT_TRUE(sway.click(900, 400));
  ASSERT_TRUE(waitUntil([&] { return x11.presses() == 2; }, 5000));
  EXPECT_EQ(native.presses(), 1u);

  // No client sees the input that goes to others: the idle seconds come from the compositor.
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto idle = shell.callbacks("deskIdle");
        return !idle.empty() && idle.back().is_array() && idle.back()[0].is_number() && idle.back()[0].get<double>() >= 1;
      },
      15000));

  // The shell never took the keyboard: it is with the window clicked last.
  const std::string tree = sway.ask("get_tree");
  EXPECT_EQ(focusedName(parseJson(tree)), "x11") << tree;
}
