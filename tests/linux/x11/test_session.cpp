// The session's lock state as the screen saver announces it on the session bus.
#include <gio/gio.h>

#include "ShellHarness.h"

namespace {

bool emitActive(const std::string& busAddress, bool active) {
  GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
      busAddress.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
  if (!bus) return false;
  const bool sent = g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/ScreenSaver",
                                                  "org.freedesktop.ScreenSaver", "ActiveChanged",
                                                  g_variant_new("(b)", active ? TRUE : FALSE), nullptr);
  g_dbus_connection_flush_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return sent;
}

std::size_t locks(ShellHarness& harness) {
  std::size_t n = 0;
  for (const auto& args : harness.callbacks("deskAct")) {
    if (args == Json::array({"lock"})) ++n;
  }
  return n;
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
