#pragma once
// The stand-ins for desktop services (logind, the StatusNotifier watcher, the file manager) own
// their well-known name on the test's private bus the same way.
#include <gio/gio.h>

// Asks the bus for name without queueing; true when this connection now owns it.
inline bool ownBusName(GDBusConnection* bus, const char* name) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
      g_variant_new("(su)", name, 4u /* do not queue */), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
      nullptr, nullptr);
  if (!reply) return false;
  guint32 result = 0;
  g_variant_get(reply, "(u)", &result);
  g_variant_unref(reply);
  return result == 1;
}

// Closes and releases a connection a stand-in opened (null is fine).
inline void closeBus(GDBusConnection* bus) {
  if (!bus) return;
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
}
