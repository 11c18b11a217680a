// What the session's services tell on the session bus: the lock state as the screen saver
// announces it, and in a Wayland session the idle time as the compositor counts it.
#include <algorithm>

#include "BusService.h"
#include "ShellHarness.h"

namespace {

bool emitActive(const std::string& busAddress, bool active) {
  GDBusConnection* bus = connectBus(busAddress);
  if (!bus) return false;
  const bool sent = g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/ScreenSaver",
                                                  "org.freedesktop.ScreenSaver", "ActiveChanged",
                                                  g_variant_new("(b)", active ? TRUE : FALSE), nullptr);
  g_dbus_connection_flush_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return sent;
}

std::size_t locks(ShellHarness& harness) {
  const auto acts = harness.callbacks("deskAct");
  return static_cast<std::size_t>(std::count(acts.begin(), acts.end(), Json::array({"lock"})));
}

}  // namespace

TEST_F(X11DesktopTest, ScreenSaverLockIsReportedAsLockUntilItEnds) {
  ASSERT_FALSE(session()->busAddress().empty());
  ASSERT_TRUE(harness->startShell());
  ASSERT_TRUE(waitUntil([&] { return !harness->callbacks("deskAct").empty(); }, 5000));
  EXPECT_EQ(locks(*harness), 0u);

  ASSERT_TRUE(emitActive(session()->busAddress(), true));
  ASSERT_TRUE(waitUntil([&] { return locks(*harness) >= 1; }, 5000));

  ASSERT_TRUE(emitActive(session()->busAddress(), false));
  // The report after the next one is certainly after the unlock.
  const std::size_t reports = harness->callbacks("deskAct").size();
  ASSERT_TRUE(waitUntil([&] { return harness->callbacks("deskAct").size() >= reports + 2; }, 8000));
  EXPECT_NE(harness->callbacks("deskAct").back(), Json::array({"lock"}));
}

TEST_F(X11DesktopTest, InAWaylandSessionTheIdleTimeIsTheCompositorsOwn) {
  // GNOME's idle monitor: the user has been away for 4242 seconds, whatever the X server saw.
  const char xml[] = "<node><interface name='org.gnome.Mutter.IdleMonitor'><method name='GetIdletime'>"
                     "<arg type='t' direction='out'/></method></interface></node>";
  BusService monitor(session()->busAddress(), "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                     xml, [](const char*, const char*, GVariant*, GDBusMethodInvocation* call) {
                       g_dbus_method_invocation_return_value(call, g_variant_new("(t)", guint64{4242000}));
                     });
  ASSERT_TRUE(monitor.owned());
  ASSERT_TRUE(harness->startShell({"XDG_SESSION_TYPE=wayland"}));
  EXPECT_TRUE(waitUntil([&] { return harness->callbacks("deskIdle").size() > 0; }, 8000));
  EXPECT_EQ(harness->callbacks("deskIdle").front(), Json::array({4242}));
}
