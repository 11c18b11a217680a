// The tray menu through a system tray this test hosts (the XEmbed tray protocol): the shell's
// icon docks in it, and clicks on the icon open the menu, whose items are chosen with the keyboard.
#include <fstream>

#include "ShellHarness.h"

namespace {

// Menu rows with one monitor: show/hide, open site, reload, autostart, exit (separators are skipped).
enum Row { kShowHide = 1, kOpenSite = 2, kReload = 3, kAutostart = 4, kExit = 5 };

}  // namespace

class X11TrayTest : public X11DesktopTest {
 protected:
  void choose(TrayHost& tray, Row row) {
    const std::string display = session()->display();
    ASSERT_TRUE(xdotool(display, {"mousemove", std::to_string(tray.centreX()), std::to_string(tray.centreY())}));
    ASSERT_TRUE(xdotool(display, {"click", "3"}));
    // The menu grabs the keyboard once it is up; give the grab a moment before keys arrive.
    ASSERT_TRUE(xdotool(display, {"sleep", "0.6"}));
    std::vector<std::string> keys{"key", "--delay", "80"};
    for (int i = 0; i < row; ++i) keys.push_back("Down");
    keys.push_back("Return");
    ASSERT_TRUE(xdotool(display, keys));
  }
};

TEST_F(X11TrayTest, MenuCommandsWorkThroughTheTray) {
  TrayHost tray(session()->display(), 1280 - 28, 4);
  ASSERT_TRUE(tray.owned());
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(waitUntil([&] { return tray.docked(); }, 10000)) << "the shell's icon never docked";
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  const auto entry = harness->home().path() / "config/autostart/TamselDeskNative.desktop";

  {
    SCOPED_TRACE("reload");
    const std::size_t before = harness->count("ready");
    choose(tray, kReload);
    EXPECT_TRUE(waitUntil([&] { return harness->count("ready") > before; }, 10000));
  }
  {
    SCOPED_TRACE("open the site");
    choose(tray, kOpenSite);
    EXPECT_TRUE(waitUntil(
        [&] {
          for (const auto& line : harness->opened()) {
            if (line == harness->server().origin() + "/") return true;
          }
          return false;
        },
        8000));
  }
  {
    SCOPED_TRACE("autostart on, then off");
    choose(tray, kAutostart);
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::is_regular_file(entry); }, 5000));
    std::ifstream in(entry);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Exec=\"" + std::filesystem::canonical(ShellHarness::shellProgram()).string() + "\""),
              std::string::npos)
        << text;
    choose(tray, kAutostart);
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists(entry); }, 5000));
  }
  {
    SCOPED_TRACE("hide for an hour, then a left click shows it");
    choose(tray, kShowHide);
    ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
    ASSERT_TRUE(xdotool(session()->display(), {"click", "1"}));
    EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("hide, then show from the menu");
    choose(tray, kShowHide);
    ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
    choose(tray, kShowHide);
    EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("exit");
    choose(tray, kExit);
    const auto code = harness->shell().wait(10000);
    ASSERT_TRUE(code) << "the shell did not end";
    EXPECT_EQ(*code, 0);
  }
}
