#include "StatusNotifierHost.h"

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

}  // namespace

StatusNotifierHost::StatusNotifierHost(const std::string& busAddress) : client_(connectBus(busAddress)) {
  auto method = [this](const char* sender, const char* method, GVariant* parameters, GDBusMethodInvocation* call) {
    if (g_strcmp0(method, "RegisterStatusNotifierItem") == 0) {
      const gchar* service = nullptr;
      g_variant_get(parameters, "(&s)", &service);
      std::lock_guard<std::mutex> lock(mutex_);
      // Items register with their object path (their bus name is the sender) or with a bus name.
      const bool isPath = service && service[0] == '/';
      itemService_ = isPath || !service ? sender : service;
      itemPath_ = isPath ? service : "/StatusNotifierItem";
    }
    g_dbus_method_invocation_return_value(call, nullptr);
  };
  auto property = [this](const char* property) -> GVariant* {
    if (g_strcmp0(property, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
    if (g_strcmp0(property, "ProtocolVersion") == 0) return g_variant_new_int32(0);
    const auto [service, path] = item();
    GVariantBuilder items;
    g_variant_builder_init(&items, G_VARIANT_TYPE("as"));
    if (!service.empty()) g_variant_builder_add(&items, "s", (service + path).c_str());
    return g_variant_builder_end(&items);
  };
  watcher_ = std::make_unique<BusService>(busAddress, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                          kWatcherXml, method, property);
}

StatusNotifierHost::~StatusNotifierHost() {
  watcher_.reset();
  if (client_) g_object_unref(client_);
}

std::pair<std::string, std::string> StatusNotifierHost::item() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {itemService_, itemPath_};
}

bool StatusNotifierHost::menuAddress(std::string& service, std::string& path) {
  std::tie(service, path) = item();
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
    if (visible && g_strcmp0(type, "separator") != 0) entries.push_back({id, label ? label : "", toggle == 1, service, path});
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

bool StatusNotifierHost::clickWithoutWaiting(const TrayMenuEntry& entry) {
  if (!client_) return false;
  g_dbus_connection_call(client_, entry.service.c_str(), entry.path.c_str(), "com.canonical.dbusmenu", "Event",
                         g_variant_new("(isvu)", entry.id, "clicked", g_variant_new_int32(0), 0u), nullptr,
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr, nullptr);
  return g_dbus_connection_flush_sync(client_, nullptr, nullptr);
}

bool StatusNotifierHost::call(const char* method, int x, int y) {
  const auto [service, path] = item();
  if (service.empty() || !client_) return false;
  GVariant* reply = g_dbus_connection_call_sync(client_, service.c_str(), path.c_str(), "org.kde.StatusNotifierItem",
                                                method, g_variant_new("(ii)", x, y), nullptr,
                                                G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
  if (reply) g_variant_unref(reply);
  return reply != nullptr;
}
