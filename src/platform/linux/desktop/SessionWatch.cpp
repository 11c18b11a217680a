#include "SessionWatch.h"

#include <unistd.h>

#include <string>

namespace {

constexpr int kBusTimeoutMs = 2000;

std::string ownSessionPath(GDBusConnection* system) {
  GVariant* reply = g_dbus_connection_call_sync(
      system, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "GetSessionByPID",
      g_variant_new("(u)", static_cast<guint32>(getpid())), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE,
      kBusTimeoutMs, nullptr, nullptr);
  if (!reply) {
    const char* id = g_getenv("XDG_SESSION_ID");
    if (!id || !*id) return {};
    reply = g_dbus_connection_call_sync(system, "org.freedesktop.login1", "/org/freedesktop/login1",
                                        "org.freedesktop.login1.Manager", "GetSession", g_variant_new("(s)", id),
                                        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, nullptr);
    if (!reply) return {};
  }
  const gchar* path = nullptr;
  g_variant_get(reply, "(&o)", &path);
  std::string result = path ? path : "";
  g_variant_unref(reply);
  return result;
}

}  // namespace

SessionWatch::SessionWatch(std::function<void(bool)> onChange) : onChange_(std::move(onChange)) {
  if (GDBusConnection* system = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr)) {
    const std::string path = ownSessionPath(system);
    if (!path.empty()) {
      for (const char* member : {"Lock", "Unlock"}) {
        const guint id = g_dbus_connection_signal_subscribe(system, "org.freedesktop.login1",
                                                            "org.freedesktop.login1.Session", member, path.c_str(),
                                                            nullptr, G_DBUS_SIGNAL_FLAGS_NONE, signalled, this, nullptr);
        subscriptions_.emplace_back(G_DBUS_CONNECTION(g_object_ref(system)), id);
      }
    }
    g_object_unref(system);
  }
  if (GDBusConnection* session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)) {
    for (const char* interface : {"org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"}) {
      const guint id = g_dbus_connection_signal_subscribe(session, nullptr, interface, "ActiveChanged", nullptr,
                                                          nullptr, G_DBUS_SIGNAL_FLAGS_NONE, signalled, this, nullptr);
      subscriptions_.emplace_back(G_DBUS_CONNECTION(g_object_ref(session)), id);
    }
    g_object_unref(session);
  }
}

SessionWatch::~SessionWatch() {
  for (auto& [bus, id] : subscriptions_) {
    g_dbus_connection_signal_unsubscribe(bus, id);
    g_object_unref(bus);
  }
}

void SessionWatch::signalled(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member,
                             GVariant* parameters, gpointer self) {
  auto* watch = static_cast<SessionWatch*>(self);
  const std::string name = member ? member : "";
  if (name == "Lock") {
    watch->onChange_(true);
  } else if (name == "Unlock") {
    watch->onChange_(false);
  } else if (name == "ActiveChanged" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) {
    gboolean active = FALSE;
    g_variant_get(parameters, "(b)", &active);
    watch->onChange_(active != FALSE);
  }
}

SleepInhibitor::~SleepInhibitor() {
  alive_ = false;
  if (fd_ >= 0) close(fd_);
  if (bus_) g_object_unref(bus_);
}

void SleepInhibitor::change(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count_ = on ? count_ + 1 : (count_ > 0 ? count_ - 1 : 0);
  }
  g_idle_add(updateOnMain, this);
}

gboolean SleepInhibitor::updateOnMain(gpointer self) {
  static_cast<SleepInhibitor*>(self)->update();
  return G_SOURCE_REMOVE;
}

void SleepInhibitor::update() {
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = count_;
  }
  if (count == 0 && fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (count > 0 && fd_ < 0 && !pending_) {
    if (!bus_) bus_ = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!bus_) return;  // no bus: nothing to hold
    pending_ = true;
    g_dbus_connection_call_with_unix_fd_list(
        bus_, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit",
        g_variant_new("(ssss)", "sleep", "在线Tamsel桌面小屋", "File transfer in progress", "block"),
        G_VARIANT_TYPE("(h)"), G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, nullptr, inhibitReplied, this);
  }
}

void SleepInhibitor::inhibitReplied(GObject* source, GAsyncResult* result, gpointer self) {
  auto* inhibitor = static_cast<SleepInhibitor*>(self);
  GUnixFDList* fds = nullptr;
  GVariant* reply =
      g_dbus_connection_call_with_unix_fd_list_finish(G_DBUS_CONNECTION(source), &fds, result, nullptr);
  int fd = -1;
  if (reply && fds) {
    gint32 index = -1;
    g_variant_get(reply, "(h)", &index);
    fd = g_unix_fd_list_get(fds, index, nullptr);
  }
  if (reply) g_variant_unref(reply);
  if (fds) g_object_unref(fds);
  inhibitor->pending_ = false;
  inhibitor->fd_ = fd;
  // The count may have dropped (or risen again) while the call was out.
  inhibitor->update();
}
