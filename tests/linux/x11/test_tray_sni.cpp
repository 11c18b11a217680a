// The tray where a StatusNotifier host runs: the shell's icon registers with the watcher this
// test owns, the menu the shell exports works when the host clicks its entries, and the icon
// registers again when the host restarts. Where no tray runs, the icon stands in a window of its
// own until one comes. Hosts that draw no menus call the item's methods; workspaces change.
#include <signal.h>

#include <fstream>

#include "ShellHarness.h"
#include "StatusNotifierHost.h"

namespace {

// The entry with this label, if the menu has one.
std::optional<TrayMenuEntry> entry(const std::vector<TrayMenuEntry>& menu, const std::string& label) {
  for (const auto& e : menu) {
    if (e.label == label) return e;
  }
  return std::nullopt;
}

bool hasEntry(const std::vector<TrayMenuEntry>& menu, const std::string& label) { return entry(menu, label).has_value(); }

}  // namespace

TEST_F(X11DesktopTest, StatusNotifierMenuCommandsWork) {
  ASSERT_FALSE(session()->busAddress().empty()) << "no session bus for the host";
  auto hostPtr = std::make_unique<StatusNotifierHost>(session()->busAddress());
  ASSERT_TRUE(hostPtr->owned());
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(waitUntil([&] { return hostPtr->itemRegistered(); }, 10000)) << "no item registered";
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);

  // The menu is exported ahead of time, with the texts the window's state calls for.
  ASSERT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "藏起来 1 小时"); }, 5000));
  std::vector<std::string> labels;
  for (const auto& e : hostPtr->menu()) labels.push_back(e.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"藏起来 1 小时", "打开在线Tamsel网页", "重新加载", "开机自动打开", "退出"}));

  {
    SCOPED_TRACE("reload");
    const std::size_t before = harness->count("ready");
    ASSERT_TRUE(hostPtr->click("重新加载"));
    EXPECT_TRUE(waitUntil([&] { return harness->count("ready") > before; }, 10000));
  }
  // Hidden for an hour, then shown again: through the menu that now offers it, or as a host that
  // draws no menus reports a middle or a left click.
  for (const std::string way : {"显示小屋", "SecondaryActivate", "Activate"}) {
    SCOPED_TRACE(way);
    ASSERT_TRUE(hostPtr->click("藏起来 1 小时"));
    ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "显示小屋"); }, 5000));
    ASSERT_TRUE(way == "显示小屋" ? hostPtr->click(way) : hostPtr->call(way.c_str()));
    EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("such a host's right click, and its left click on a visible companion: the shell's menu");
    const std::string display = session()->display();
    XProbe::Area at;
    ASSERT_TRUE(hostPtr->call("ContextMenu", 300, 200));
    ASSERT_TRUE(waitUntil([&] { return probe->menuOpen(&at); }, 5000));
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(300, 200));
    ASSERT_TRUE(xdotool(display, {"key", "Escape"}) && waitUntil([&] { return !probe->menuOpen(); }, 5000));
    ASSERT_TRUE(xdotool(display, {"mousemove", "500", "400"}));
    ASSERT_TRUE(hostPtr->call("Activate", 9, 9));
    ASSERT_TRUE(waitUntil([&] { return probe->menuOpen(&at); }, 5000));
    EXPECT_EQ(std::make_pair(at.x, at.y), std::make_pair(500, 400));
    ASSERT_TRUE(xdotool(display, {"key", "Escape"}));
  }
  {
    SCOPED_TRACE("an item clicked after the window changed does what it said");
    const auto hide = entry(hostPtr->menu(), "藏起来 1 小时");
    ASSERT_TRUE(hide);
    // The shell is held while the page hides it and the user clicks "hide" in the menu the
    // host still shows; both reach it together.
    kill(harness->shell().pid(), SIGSTOP);
    ASSERT_TRUE(harness->command("deskSend({ t: 'hide', ms: 600000 }); 'hidden'"));
    ASSERT_TRUE(hostPtr->clickWithoutWaiting(*hide));
    kill(harness->shell().pid(), SIGCONT);
    ASSERT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "显示小屋"); }, 5000));
    ASSERT_TRUE(harness->command("'settled'"));
    EXPECT_FALSE(probe->viewable(*window)) << "\"hide\" showed the window";
    ASSERT_TRUE(hostPtr->click("显示小屋"));
    ASSERT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("autostart on, with its check mark, then off");
    const auto file = harness->home().path() / "config/autostart/TamselDeskNative.desktop";
    ASSERT_TRUE(hostPtr->click("开机自动打开"));
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::is_regular_file(file); }, 5000));
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto program = std::filesystem::canonical(ShellHarness::shellProgram()).string();
    EXPECT_NE(text.find("Exec=\"" + program + "\""), std::string::npos) << text;
    EXPECT_TRUE(waitUntil([&] { return entry(hostPtr->menu(), "开机自动打开").value_or(TrayMenuEntry{}).checked; }, 5000));
    ASSERT_TRUE(hostPtr->click("开机自动打开"));
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists(file); }, 5000));
  }
  {
    SCOPED_TRACE("the tray host restarts: the icon comes back");
    hostPtr.reset();
    hostPtr = std::make_unique<StatusNotifierHost>(session()->busAddress());
    ASSERT_TRUE(hostPtr->owned());
    ASSERT_TRUE(waitUntil([&] { return hostPtr->itemRegistered(); }, 10000));
    EXPECT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "退出"); }, 5000));
  }
  {
    SCOPED_TRACE("exit");
    // The shell may be gone before its answer to the click is on the bus.
    hostPtr->click("退出");
    const auto code = harness->shell().wait(10000);
    ASSERT_TRUE(code) << "the shell did not end";
    EXPECT_EQ(*code, 0);
  }
}

TEST_F(X11DesktopTest, WithoutATrayTheIconStandsInAWindowOfItsOwnUntilATrayComes) {
  ASSERT_TRUE(harness->startShell());
  const auto window = probe->shellWindow();
  ASSERT_TRUE(window);
  const std::string display = session()->display();
  std::optional<Window> icon;
  ASSERT_TRUE(waitUntil([&] { return (icon = probe->trayIconWindow()) && probe->viewable(*icon); }, 10000))
      << "no icon window in a session without a tray";
  const XProbe::Area at = probe->area(*icon);
  const std::string x = std::to_string(at.x + at.width / 2);
  const std::string y = std::to_string(at.y + at.height / 2);

  // On the second workspace the companion and the icon are there as on the first.
  ASSERT_TRUE(xdotool(display, {"set_desktop", "1"}));
  ASSERT_TRUE(waitUntil([&] { return probe->property(0, "_NET_CURRENT_DESKTOP") == std::vector<unsigned long>{1}; }, 5000));
  EXPECT_TRUE(probe->viewable(*window) && probe->viewable(*icon));
  ASSERT_TRUE(xdotool(display, {"set_desktop", "0"}));

  // A click opens the tray menu; its first item hides the companion.
  ASSERT_TRUE(xdotool(display, {"mousemove", x, y, "click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return probe->menuOpen(); }, 5000));
  ASSERT_TRUE(xdotool(display, {"key", "Down", "Return"}));
  ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
  // A click while it is hidden shows it again.
  ASSERT_TRUE(xdotool(display, {"click", "1"}));
  ASSERT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));

  // A tray host that comes later takes the icon, and the window goes.
  StatusNotifierHost host(session()->busAddress());
  ASSERT_TRUE(host.owned());
  ASSERT_TRUE(waitUntil([&] { return host.itemRegistered(); }, 10000));
  EXPECT_TRUE(waitUntil([&] { return !probe->viewable(*icon); }, 5000));
}
