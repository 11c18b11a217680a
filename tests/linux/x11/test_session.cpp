// The session's lock state as the screen saver announces it on the session bus.
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
