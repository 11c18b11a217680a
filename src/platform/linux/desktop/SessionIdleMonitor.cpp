#include "SessionIdleMonitor.h"

#include <algorithm>

SessionIdleMonitor::SessionIdleMonitor()
    : bus_(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)), cancellable_(g_cancellable_new()) {}

SessionIdleMonitor::~SessionIdleMonitor() {
  // The answer still on its way comes to answered() as cancelled and touches nothing of this.
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  if (bus_) g_object_unref(bus_);
}

bool SessionIdleMonitor::waylandSession() {
  const char* type = g_getenv("XDG_SESSION_TYPE");
  const char* display = g_getenv("WAYLAND_DISPLAY");
  return g_strcmp0(type, "wayland") == 0 || (display && *display);
}

std::optional<std::uint32_t> SessionIdleMonitor::millis() {
  if (bus_ && !asking_ && !missing_) {
    asking_ = true;
    g_dbus_connection_call(bus_, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                           "org.gnome.Mutter.IdleMonitor", "GetIdletime", nullptr, G_VARIANT_TYPE("(t)"),
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, cancellable_, answered, this);
  }
  return last_;
}

void SessionIdleMonitor::answered(GObject* source, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    return;
  }
  auto* monitor = static_cast<SessionIdleMonitor*>(self);
  monitor->asking_ = false;
  if (reply) {
    guint64 idle = 0;
    g_variant_get(reply, "(t)", &idle);
    monitor->last_ = static_cast<std::uint32_t>(std::min<guint64>(idle, UINT32_MAX));
    g_variant_unref(reply);
  } else {
    // Not GNOME's compositor (or none on this bus): the X idle time it is.
    monitor->missing_ = g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
                        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER) ||
                        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD);
  }
  if (error) g_error_free(error);
}
