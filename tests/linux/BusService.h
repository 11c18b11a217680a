#pragma once
// A stand-in for a desktop service (logind, the StatusNotifier watcher, the file manager): one
// object on a private bus, served from a thread of its own, under the service's well-known name.
#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

inline GDBusConnection* connectBus(const std::string& address) {
  return g_dbus_connection_new_for_address_sync(
      address.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

class BusService {
 public:
  // Runs on the service's thread; it must answer the invocation.
  using Method = std::function<void(const char* sender, const char* method, GVariant* parameters,
                                    GDBusMethodInvocation* invocation)>;
  using Property = std::function<GVariant*(const char* property)>;

  // Declare it after the state its callbacks use, so it stops before that state goes.
  BusService(const std::string& address, const char* name, const char* path, const char* xml, Method method,
             Property property = {})
      : method_(std::move(method)), property_(std::move(property)) {
    thread_ = std::thread([=, this] { run(address, name, path, xml); });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ready_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~BusService() {
    // Queued on the loop's own context, so the quit cannot come before the loop runs.
    if (ready_) g_main_context_invoke(context_, [](gpointer loop) { return g_main_loop_quit(static_cast<GMainLoop*>(loop)), G_SOURCE_REMOVE; }, loop_);
    thread_.join();
  }
  BusService(const BusService&) = delete;
  BusService& operator=(const BusService&) = delete;

  bool owned() const { return owned_; }
  GDBusConnection* bus() const { return bus_; }  // thread-safe, for signals

 private:
  void run(const std::string& address, const char* name, const char* path, const char* xml) {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    loop_ = g_main_loop_new(context_, FALSE);
    bus_ = connectBus(address);
    if (bus_) {
      GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(xml, nullptr);
      static const GDBusInterfaceVTable withProperties = {called, read, nullptr, {}};
      static const GDBusInterfaceVTable methodsOnly = {called, nullptr, nullptr, {}};
      g_dbus_connection_register_object(bus_, path, info->interfaces[0], property_ ? &withProperties : &methodsOnly,
                                        this, nullptr, nullptr);
      g_dbus_node_info_unref(info);
      GVariant* reply = g_dbus_connection_call_sync(
          bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
          g_variant_new("(su)", name, 4u /* do not queue */), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
          nullptr, nullptr);
      guint32 result = 0;
      if (reply) g_variant_get(reply, "(u)", &result), g_variant_unref(reply);
      owned_ = result == 1;
    }
    ready_ = true;
    g_main_loop_run(loop_);
    if (bus_) g_dbus_connection_close_sync(bus_, nullptr, nullptr), g_object_unref(bus_);
    g_main_loop_unref(loop_);
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  static void called(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    static_cast<BusService*>(self)->method_(sender, method, parameters, invocation);
  }
  static GVariant* read(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError**,
                        gpointer self) {
    return static_cast<BusService*>(self)->property_(property);
  }

  Method method_;
  Property property_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> owned_{false};
  GDBusConnection* bus_ = nullptr;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};
