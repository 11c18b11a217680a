// The companion window on a real X server: what is drawn, where the mouse goes, what the page hears.
#include <algorithm>

#include "ShellHarness.h"

namespace {

bool isRed(const Rgb& p) { return p.r > 200 && p.g < 60 && p.b < 60; }
bool isBlue(const Rgb& p) { return p.r < 60 && p.g < 60 && p.b > 200; }
bool isGreen(const Rgb& p) { return p.r < 60 && p.g > 200 && p.b < 60; }

std::string showRgb(const Rgb& p) {
  return std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b);
}

void expectBlue(XProbe& screen, std::initializer_list<std::pair<int, int>> points) {
  for (auto [x, y] : points) {
    EXPECT_TRUE(isBlue(screen.pixel(x, y))) << x << "," << y << " is " << showRgb(screen.pixel(x, y));
  }
}

// Moves the pointer there and, once the page has heard of the move (its hover count reached
// hovers), clicks.
void moveAndClick(const std::string& display, ShellHarness& shell, int x, int y, std::size_t hovers) {
  ASSERT_TRUE(xdotool(display, {"mousemove", std::to_string(x), std::to_string(y)}));
  ASSERT_TRUE(waitUntil([&] { return shell.callbacks("deskHover").size() >= hovers; }, 5000));
  ASSERT_TRUE(xdotool(display, {"click", "1"}));
}

}  // namespace

TEST_F(X11DesktopTest, OnlyTheShapeIsDrawnAndOnlyTheShapeTakesTheMouse) {
  // Mapped before the shell, so the shell lies above it.
  BeneathWindow beneath(session()->display(), 0x0000ff);
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(probe->shellWindow());
  const std::string display = session()->display();

  // The page's shape (page pixels 100,100 to 260,220) is drawn; everywhere else the window beneath shows.
  ASSERT_TRUE(waitUntil([&] { return isRed(probe->pixel(180, 160)); }, 10000)) << showRgb(probe->pixel(180, 160));
  // (The top right corner is left out: a tray icon may stand there in a session without a tray.)
  expectBlue(*probe, {{20, 20}, {95, 160}, {265, 160}, {640, 400}, {1150, 20}, {1250, 780}});

  // Before the pointer has come near the page, a click on the desktop reaches the desktop: a
  // window manager's frame lets it through as the window itself does.
  ASSERT_TRUE(xdotool(display, {"mousemove", "900", "600", "click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return beneath.presses() == 1; }, 5000));

  // Over the shape the page gets the click; the window beneath gets nothing.
  ASSERT_NO_FATAL_FAILURE(moveAndClick(display, *harness, 180, 160, 1));
  ASSERT_TRUE(waitUntil([&] { return harness->count("click") == 1; }, 5000));
  const Json click = harness->records("click").front()["data"];
  EXPECT_EQ(click.value("x", 0), 180);
  EXPECT_EQ(click.value("y", 0), 160);
  EXPECT_TRUE(click.value("onShape", false));
  EXPECT_EQ(beneath.presses(), 1);

  // Elsewhere the click goes through to the window beneath.
  ASSERT_NO_FATAL_FAILURE(moveAndClick(display, *harness, 700, 500, 2));
  ASSERT_TRUE(waitUntil([&] { return beneath.presses() == 2; }, 5000));
  EXPECT_EQ(harness->count("pointerdown"), 1u);

  // A press that began on the shape stays with the page when dragged off it.
  ASSERT_TRUE(xdotool(display, {"mousemove", "200", "170"}));
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskHover").size() >= 3; }, 5000));
  ASSERT_TRUE(xdotool(display, {"mousedown", "1"}));
  ASSERT_TRUE(waitUntil([&] { return harness->count("pointerdown") == 2; }, 5000));
  for (const char* x : {"300", "450", "700"}) ASSERT_TRUE(xdotool(display, {"mousemove", x, "500"}));
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskHover").size() >= 4; }, 5000));
  ASSERT_TRUE(xdotool(display, {"mouseup", "1"}));
  ASSERT_TRUE(waitUntil([&] { return harness->count("pointerup") == 2; }, 5000));
  EXPECT_EQ(harness->records("pointerup").back()["data"].value("x", 0), 700);
  EXPECT_EQ(beneath.presses(), 2);
  EXPECT_EQ(beneath.releases(), 2);

  // A shape that comes to lie under the resting pointer takes the next click there.
  const std::size_t clicks = harness->count("click");
  const auto moved = harness->command("shape.style.left = '620px'; shape.style.top = '440px'; deskReportHits()");
  ASSERT_TRUE(moved && moved->value("ok", false));
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskHover").size() >= 5; }, 5000));
  ASSERT_TRUE(xdotool(display, {"click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return harness->count("click") == clicks + 1; }, 5000));
  EXPECT_TRUE(harness->records("click").back()["data"].value("onShape", false));
  EXPECT_EQ(beneath.presses(), 2);
}

TEST_F(X11DesktopTest, HoverActivityAndIdleReachThePage) {
  ASSERT_TRUE(harness->startShell());
  // Into the hover zone (40 page pixels around the shape) and out again: one callback each.
  ASSERT_TRUE(xdotool(session()->display(), {"mousemove", "70", "70"}));
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskHover").size() == 1; }, 5000));
  EXPECT_EQ(harness->callbacks("deskHover")[0], Json::array({true}));
  ASSERT_TRUE(xdotool(session()->display(), {"mousemove", "40", "40"}));
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskHover").size() == 2; }, 5000));
  EXPECT_EQ(harness->callbacks("deskHover")[1], Json::array({false}));

  // Recent pointer movement is reported as "mouse".
  ASSERT_TRUE(waitUntil(
      [&] {
        const auto acts = harness->callbacks("deskAct");
        return std::find(acts.begin(), acts.end(), Json::array({"mouse"})) != acts.end();
      },
      5000));

  // The idle report counts whole seconds since the last input.
  ASSERT_TRUE(waitUntil([&] { return !harness->callbacks("deskIdle").empty(); }, 8000));
  const Json idle = harness->callbacks("deskIdle").back();
  ASSERT_TRUE(idle.is_array() && idle.size() == 1 && idle[0].is_number());
  EXPECT_GE(idle[0].get<double>(), 0);
  EXPECT_LT(idle[0].get<double>(), 60);
}

TEST_F(X11DesktopTest, ScaledDisplayKeepsPagePixelsAndWindowPixelsInStep) {
  BeneathWindow beneath(session()->display(), 0x0000ff);
  ASSERT_TRUE(harness->startShell({"GDK_SCALE=2"}));
  const Json ready = harness->records("ready").back();
  EXPECT_EQ(ready.value("dpr", 0), 2);
  EXPECT_EQ(ready.value("w", 0), 640);
  EXPECT_EQ(ready.value("h", 0), 400);

  // The shape at page pixels 100,100 to 260,220 covers window pixels 200,200 to 520,440.
  ASSERT_TRUE(waitUntil([&] { return isRed(probe->pixel(300, 300)); }, 10000));
  EXPECT_TRUE(isRed(probe->pixel(510, 430)));
  expectBlue(*probe, {{150, 150}, {540, 460}});

  ASSERT_NO_FATAL_FAILURE(moveAndClick(session()->display(), *harness, 300, 300, 1));
  ASSERT_TRUE(waitUntil([&] { return harness->count("click") == 1; }, 5000));
  const Json click = harness->records("click").front()["data"];
  EXPECT_EQ(click.value("x", 0), 150);
  EXPECT_EQ(click.value("y", 0), 150);

  // Just outside the shape (with its margin) in window pixels the click goes through.
  ASSERT_NO_FATAL_FAILURE(moveAndClick(session()->display(), *harness, 600, 600, 2));
  ASSERT_TRUE(waitUntil([&] { return beneath.presses() == 1; }, 5000));
}

TEST_F(X11DesktopTest, WithoutACompositorOnlyWhatThePageDrawsCoversTheDesktop) {
  TempDir dir("plainx");
  XSession plain(dir.path().string(), XSessionOptions{.compositor = false});
  ASSERT_TRUE(plain.ok());
  ShellHarness shell(plain.environment());
  XProbe screen(plain.display());
  BeneathWindow beneath(plain.display(), 0x0000ff);
  ASSERT_TRUE(shell.startShell());

  // No alpha without a compositor: the window is cut to the page's drawn pixels instead.
  ASSERT_TRUE(waitUntil([&] { return isRed(screen.pixel(180, 160)) && isBlue(screen.pixel(640, 400)); }, 10000))
      << showRgb(screen.pixel(180, 160)) << " / " << showRgb(screen.pixel(640, 400));
  expectBlue(screen, {{20, 20}, {95, 160}, {265, 160}, {1250, 780}});
  ASSERT_NO_FATAL_FAILURE(moveAndClick(plain.display(), shell, 180, 160, 1));
  ASSERT_TRUE(waitUntil([&] { return shell.count("click") == 1; }, 5000));
  ASSERT_NO_FATAL_FAILURE(moveAndClick(plain.display(), shell, 700, 500, 2));
  EXPECT_TRUE(waitUntil([&] { return beneath.presses() == 1; }, 5000));
}

TEST_F(X11DesktopTest, InAWaylandSessionTheWindowCoversOnlyTheShapesAndZone) {
  // Through XWayland the compositor gives an X window every click above a Wayland window,
  // whatever its input shape; so there the window is no larger than what the page draws.
  BeneathWindow beneath(session()->display(), 0x0000ff);
  ASSERT_TRUE(harness->startShell({"XDG_SESSION_TYPE=wayland"}));
  // The zone (60,60 to 300,260) with its drop margin; the page keeps its coordinates inside.
  const XProbe::Area cut{48, 48, 264, 224};
  ASSERT_TRUE(waitUntil([&] { return probe->shellWindow() && probe->area(*probe->shellWindow()) == cut; }, 10000));
  ASSERT_TRUE(waitUntil([&] { return isRed(probe->pixel(180, 160)); }, 10000)) << showRgb(probe->pixel(180, 160));
  expectBlue(*probe, {{95, 160}, {265, 160}, {640, 400}});
  ASSERT_NO_FATAL_FAILURE(moveAndClick(session()->display(), *harness, 180, 160, 1));
  ASSERT_TRUE(waitUntil([&] { return harness->count("click") == 1; }, 5000));
  const Json click = harness->records("click").front()["data"];
  EXPECT_EQ(std::pair(click.value("x", 0), click.value("y", 0)), std::pair(180, 160));

  // Where the page moves its shape, the window follows.
  ASSERT_TRUE(harness->command("shape.style.left = '620px'; shape.style.top = '440px'; deskReportHits()"));
  ASSERT_TRUE(waitUntil([&] { return probe->area(*probe->shellWindow()) == XProbe::Area{568, 388, 264, 224}; }, 5000));
  EXPECT_TRUE(waitUntil([&] { return isRed(probe->pixel(700, 500)); }, 5000));
}

TEST_F(X11DesktopTest, WithoutAWindowManagerTheShellStaysAboveWindowsMappedOrRaisedLater) {
  TempDir dir("barex");
  XSession bare(dir.path().string(), XSessionOptions{.compositor = false, .windowManager = false});
  ASSERT_TRUE(bare.ok());
  ShellHarness shell(bare.environment());
  XProbe screen(bare.display());
  ASSERT_TRUE(shell.startShell());
  std::optional<Window> icon;
  ASSERT_TRUE(waitUntil([&] { return (icon = screen.trayIconWindow()) && screen.viewable(*icon); }, 10000));
  const XProbe::Area at = screen.area(*icon);

  // Another program's window over the whole screen, mapped after the shell, then raised again.
  OtherWindow other(bare.display(), 0x00ff00, {0, 0, 1280, 800});
  for (const char* step : {"mapped", "raised"}) {
    SCOPED_TRACE(step);
    if (std::string(step) == "raised") other.raise();
    EXPECT_TRUE(isGreen(screen.pixel(640, 400)));
    EXPECT_TRUE(waitUntil([&] { return isRed(screen.pixel(180, 160)); }, 5000)) << "the companion stays covered";
    EXPECT_TRUE(waitUntil([&] { return !isGreen(screen.pixel(at.x + at.width / 2, at.y + 2)); }, 5000))
        << "the icon window stays covered";
  }
}

TEST_F(X11DesktopTest, InputFocusGivesThePageTheKeyboardButNotTheZoom) {
  // Neither the start, a click on the page nor a show takes the keyboard from where the user types.
  OtherWindow editor(session()->display(), 0x808080, {900, 500, 200, 100});
  ASSERT_TRUE(waitUntil([&] { return probe->viewable(editor.id()); }, 5000));
  ASSERT_TRUE(xdotool(session()->display(), {"windowactivate", "--sync", std::to_string(editor.id())}));
  ASSERT_TRUE(waitUntil([&] { return editor.focused(); }, 5000));
  ASSERT_TRUE(harness->startShell());
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  ASSERT_NO_FATAL_FAILURE(moveAndClick(session()->display(), *harness, 180, 160, 1));
  ASSERT_TRUE(waitUntil([&] { return harness->count("click") == 1; }, 5000));
  ASSERT_TRUE(harness->command("deskSend({ t: 'hide', ms: 1500 }); 'hidden'"));
  ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
  ASSERT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  EXPECT_TRUE(editor.focused());
  // What managers that focus every new window still heed: no offer to take the focus itself.
  const auto protocols = probe->property(*window, "WM_PROTOCOLS");
  EXPECT_EQ(std::count(protocols.begin(), protocols.end(), probe->atom("WM_TAKE_FOCUS")), 0);

  // The page asks for the keyboard (as a text field would); typing then reaches it.
  ASSERT_TRUE(harness->command("deskSend({ t: 'inputFocus' }); 'asked'"));
  ASSERT_TRUE(waitUntil([&] { return harness->command("String(document.hasFocus())").value_or(Json())["result"] == "true"; },
                        8000));
  ASSERT_TRUE(xdotool(session()->display(), {"type", "--delay", "50", "ok"}));
  ASSERT_TRUE(waitUntil([&] { return harness->count("key") >= 2; }, 5000));
  EXPECT_EQ(harness->records("key")[0]["data"].value("key", ""), "o");
  EXPECT_EQ(harness->records("key")[1]["data"].value("key", ""), "k");

  // Zoom keys and the control wheel over the shape leave the scale alone.
  ASSERT_TRUE(xdotool(session()->display(), {"mousemove", "180", "160"}));
  ASSERT_TRUE(waitUntil([&] { return !harness->callbacks("deskHover").empty(); }, 5000));
  ASSERT_TRUE(xdotool(session()->display(), {"key", "ctrl+plus", "ctrl+plus", "ctrl+equal"}));
  ASSERT_TRUE(xdotool(session()->display(), {"keydown", "ctrl", "click", "4", "click", "4", "keyup", "ctrl"}));
  const auto size = harness->command("window.innerWidth + 'x' + window.innerHeight + '@' + window.devicePixelRatio");
  ASSERT_TRUE(size);
  EXPECT_EQ(size->value("result", ""), "1280x800@1");
}
