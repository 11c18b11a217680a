// The tray where a StatusNotifier host runs: the shell's icon registers with the watcher this
// test owns, the menu the shell exports works when the host clicks its entries, and the icon
// registers again when the host restarts.
#include <fstream>

#include "ShellHarness.h"
#include "StatusNotifierHost.h"

namespace {

bool hasEntry(const std::vector<TrayMenuEntry>& menu, const std::string& label) {
  for (const auto& entry : menu) {
    if (entry.label == label) return true;
  }
  return false;
}

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
  const auto menu = hostPtr->menu();
  std::vector<std::string> labels;
  for (const auto& entry : menu) labels.push_back(entry.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"藏起来 1 小时", "打开在线Tamsel网页", "重新加载", "开机自动打开", "退出"}));

  {
    SCOPED_TRACE("reload");
    const std::size_t before = harness->count("ready");
    ASSERT_TRUE(hostPtr->click("重新加载"));
    EXPECT_TRUE(waitUntil([&] { return harness->count("ready") > before; }, 10000));
  }
  {
    SCOPED_TRACE("hide, then show through the menu that now offers it");
    ASSERT_TRUE(hostPtr->click("藏起来 1 小时"));
    ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "显示小屋"); }, 5000));
    ASSERT_TRUE(hostPtr->click("显示小屋"));
    EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("hide, then a middle click on the icon shows it");
    ASSERT_TRUE(hostPtr->click("藏起来 1 小时"));
    ASSERT_TRUE(waitUntil([&] { return !probe->viewable(*window); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return hasEntry(hostPtr->menu(), "显示小屋"); }, 5000));
    ASSERT_TRUE(hostPtr->secondaryActivate());
    EXPECT_TRUE(waitUntil([&] { return probe->viewable(*window); }, 5000));
  }
  {
    SCOPED_TRACE("autostart on, with its check mark, then off");
    const auto entry = harness->home().path() / "config/autostart/TamselDeskNative.desktop";
    ASSERT_TRUE(hostPtr->click("开机自动打开"));
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::is_regular_file(entry); }, 5000));
    EXPECT_TRUE(waitUntil(
        [&] {
          for (const auto& e : hostPtr->menu()) {
            if (e.label == "开机自动打开") return e.checked;
          }
          return false;
        },
        5000));
    ASSERT_TRUE(hostPtr->click("开机自动打开"));
    EXPECT_TRUE(waitUntil([&] { return !std::filesystem::exists(entry); }, 5000));
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
