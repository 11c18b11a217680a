#include "StatusNotifierHost.h"

#include "BusName.h"

#include <chrono>

namespace {

const char kWatcherXml[] =
    "<node><interface name='org.kde.StatusNotifierWatcher'>"
    "<method name='RegisterStatusNotifierItem'><arg type='s' direction='in'/></method>"
    "<method name='RegisterStatusNotifierHost'><arg type='s' direction='in'/></method>"
    "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
    "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
    "<property name='ProtocolVersion' type='i' access='read'/>"
    "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
    "<signal name='StatusNotifierHostRegistered'/>"
    "</interface></node>";

GDBusConnection* connect(const std::string& address) {
  return g_dbus_connection_new_for_address_sync(
      address.c_str(), static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

}  // namespace

StatusNotifierHost::StatusNotifierHost(const std::string& busAddress) : address_(busAddress) {
  client_ = connect(address_);
  thread_ = std::thread([this] { run(); });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!ready_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

StatusNotifierHost::~StatusNotifierHost() {
  // The loop exists once the thread said it is ready (the constructor waited for that).
  if (ready_ && loop_) g_main_loop_quit(loop_);
  if (thread_.joinable()) thread_.join();
  if (client_) g_object_unref(client_);
}

void StatusNotifierHost::run() {
  context_ = g_main_context_new();
  g_main_context_push_thread_default(context_);
  loop_ = g_main_loop_new(context_, FALSE);
  GDBusConnection* bus = connect(address_);
  if (bus) {
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kWatcherXml, nullptr);
    static const GDBusInterfaceVTable vtable = {methodCalled, propertyRead, nullptr, {}};
    g_dbus_connection_register_object(bus, "/StatusNotifierWatcher", info->interfaces[0], &vtable, this, nullptr,
                                      nullptr);
    g_dbus_node_info_unref(info);
    owned_ = ownBusName(bus, "org.kde.StatusNotifierWatcher");
  }
  ready_ = true;
  g_main_loop_run(loop_);
  closeBus(bus);
  g_main_loop_unref(loop_);
  g_main_context_pop_thread_default(context_);
  g_main_context_unref(context_);
}

void StatusNotifierHost::methodCalled(GDBusConnection*, const gchar* sender, const gchar*, const gchar*,
                                      const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                                      gpointer self) {
  auto* host = static_cast<StatusNotifierHost*>(self);
  if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
    const gchar* service = nullptr;
    g_variant_get(parameters, "(&s)", &service);
    std::lock_guard<std::mutex> lock(host->mutex_);
    // Items register with their object path (their bus name is the sender) or with a bus name.
    if (service && service[0] == '/') {
      host->itemService_ = sender;
      host->itemPath_ = service;
    } else {
      host->itemService_ = service ? service : sender;
      host->itemPath_ = "/StatusNotifierItem";
    }
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* StatusNotifierHost::propertyRead(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                           const gchar* property, GError**, gpointer self) {
  auto* host = static_cast<StatusNotifierHost*>(self);
  if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
  if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
  std::lock_guard<std::mutex> lock(host->mutex_);
  GVariantBuilder items;
  g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
  if (!host->itemService_.empty()) g_variant_builder_add(&items, "s", (host->itemService_ + host->itemPath_).c_str());
  return g_variant_builder_end(&items);
}

bool StatusNotifierHost::itemRegistered() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !itemService_.empty();
}

bool StatusNotifierHost::menuAddress(std::string& service, std::string& path) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    service = itemService_;
    path = itemPath_;
  }
  if (service.empty() || !client_) return false;
  GVariant* reply = g_dbus_connection_call_sync(client_, service.c_str(), path.c_str(), "org.freedesktop.DBus.Properties",
                                                "Get", g_variant_new("(ss)", "org.kde.StatusNotifierItem", "Menu"),
                                                G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (!reply) return false;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  const bool isPath = g_variant_is_of_type(value, G_VARIANT_TYPE_OBJECT_PATH);
  if (isPath) path = g_variant_get_string(value, nullptr);
  g_variant_unref(value);
  g_variant_unref(reply);
  return isPath;
}

std::vector<TrayMenuEntry> StatusNotifierHost::menu() {
  std::vector<TrayMenuEntry> entries;
  std::string service;
  std::string path;
  if (!menuAddress(service, path)) return entries;
  GVariant* reply = g_dbus_connection_call_sync(
      client_, service.c_str(), path.c_str(), "com.canonical.dbusmenu", "GetLayout",
      g_variant_new("(ii@as)", 0, -1, g_variant_new_strv(nullptr, 0)), G_VARIANT_TYPE("(u(ia{sv}av))"),
      G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (!reply) return entries;
  GVariant* layout = g_variant_get_child_value(reply, 1);
  GVariant* children = g_variant_get_child_value(layout, 2);
  for (gsize i = 0; i < g_variant_n_children(children); ++i) {
    GVariant* boxed = g_variant_get_child_value(children, i);
    GVariant* child = g_variant_get_variant(boxed);
    gint32 id = 0;
    GVariant* properties = nullptr;
    GVariant* grandchildren = nullptr;
    g_variant_get(child, "(i@a{sv}@av)", &id, &properties, &grandchildren);
    GVariantDict dict;
    g_variant_dict_init(&dict, properties);
    const gchar* type = nullptr;
    const gchar* label = nullptr;
    gint32 toggle = 0;
    gboolean visible = TRUE;
    g_variant_dict_lookup(&dict, "type", "&s", &type);
    g_variant_dict_lookup(&dict, "label", "&s", &label);
    g_variant_dict_lookup(&dict, "toggle-state", "i", &toggle);
    g_variant_dict_lookup(&dict, "visible", "b", &visible);
    if (visible && g_strcmp0(type, "separator") != 0) entries.push_back({id, label ? label : "", toggle == 1});
    g_variant_dict_clear(&dict);
    g_variant_unref(properties);
    g_variant_unref(grandchildren);
    g_variant_unref(child);
    g_variant_unref(boxed);
  }
  g_variant_unref(children);
  g_variant_unref(layout);
  g_variant_unref(reply);
  return entries;
}

bool StatusNotifierHost::click(const std::string& label) {
  // The item may export a new menu at any time (its texts follow the window's state); a host
  // then reads the layout again, and so does this one before it gives up.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string service;
    std::string path;
    if (!menuAddress(service, path)) return false;
    for (const auto& entry : menu()) {
      if (entry.label != label) continue;
      GVariant* reply = g_dbus_connection_call_sync(
          client_, service.c_str(), path.c_str(), "com.canonical.dbusmenu", "Event",
          g_variant_new("(isvu)", entry.id, "clicked", g_variant_new_int32(0), 0u), nullptr,
          G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
      if (reply) {
        g_variant_unref(reply);
        return true;
      }
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

bool StatusNotifierHost::secondaryActivate() {
  std::string service;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    service = itemService_;
    path = itemPath_;
  }
  if (service.empty() || !client_) return false;
  GVariant* reply = g_dbus_connection_call_sync(client_, service.c_str(), path.c_str(), "org.kde.StatusNotifierItem",
                                                "SecondaryActivate", g_variant_new("(ii)", 0, 0), nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (!reply) return false;
  g_variant_unref(reply);
  return true;
}
