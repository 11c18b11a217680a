#include "StatusNotifierClicks.h"

namespace {

constexpr const char kItemInterface[] = "org.kde.StatusNotifierItem";

}  // namespace

// Shared by the owner, the filter and every call on its way to the main loop; owner is cleared
// (on the main loop) when the owner goes, so a call that arrives later is only answered.
struct StatusNotifierClicks::Link {
  std::atomic<bool> active{false};
  StatusNotifierClicks* owner = nullptr;
};

struct StatusNotifierClicks::PendingCall {
  std::shared_ptr<Link> link;
  GDBusConnection* bus;
  GDBusMessage* message;
  Click click;
};

void StatusNotifierClicks::freeCall(gpointer data) {
  auto* call = static_cast<PendingCall*>(data);
  g_object_unref(call->message);
  g_object_unref(call->bus);
  delete call;
}

void StatusNotifierClicks::freeLink(gpointer data) { delete static_cast<std::shared_ptr<Link>*>(data); }

StatusNotifierClicks::StatusNotifierClicks(Handler handler)
    : handler_(std::move(handler)), link_(std::make_shared<Link>()) {
  link_->owner = this;
  bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus_) filter_ = g_dbus_connection_add_filter(bus_, filter, new std::shared_ptr<Link>(link_), freeLink);
}

StatusNotifierClicks::~StatusNotifierClicks() {
  link_->active = false;
  link_->owner = nullptr;
  if (bus_ && filter_) g_dbus_connection_remove_filter(bus_, filter_);
  if (bus_) g_object_unref(bus_);
}

void StatusNotifierClicks::setActive(bool on) { link_->active = on; }

GDBusMessage* StatusNotifierClicks::filter(GDBusConnection* bus, GDBusMessage* message, gboolean incoming,
                                           gpointer data) {
  const auto& link = *static_cast<std::shared_ptr<Link>*>(data);
  if (!incoming || !link->active || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL ||
      g_strcmp0(g_dbus_message_get_interface(message), kItemInterface) != 0) {
    return message;
  }
  const char* member = g_dbus_message_get_member(message);
  Click click;
  if (g_strcmp0(member, "Activate") == 0) {
    click = Click::Primary;
  } else if (g_strcmp0(member, "SecondaryActivate") == 0 || g_strcmp0(member, "XAyatanaSecondaryActivate") == 0) {
    click = Click::Secondary;
  } else if (g_strcmp0(member, "ContextMenu") == 0) {
    click = Click::Context;
  } else {
    return message;
  }
  // The message's reference goes with the call; the library never sees it.
  auto* call = new PendingCall{link, G_DBUS_CONNECTION(g_object_ref(bus)), message, click};
  g_main_context_invoke_full(nullptr, G_PRIORITY_DEFAULT, deliver, call, freeCall);
  return nullptr;
}

gboolean StatusNotifierClicks::deliver(gpointer data) {
  auto* call = static_cast<PendingCall*>(data);
  // Answered first: the click may open a menu that runs a loop of its own until it closes.
  if (!(g_dbus_message_get_flags(call->message) & G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED)) {
    GDBusMessage* reply = g_dbus_message_new_method_reply(call->message);
    g_dbus_connection_send_message(call->bus, reply, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(reply);
  }
  int x = 0;
  int y = 0;
  GVariant* body = g_dbus_message_get_body(call->message);
  if (body && g_variant_is_of_type(body, G_VARIANT_TYPE("(ii)"))) g_variant_get(body, "(ii)", &x, &y);
  if (StatusNotifierClicks* owner = call->link->owner) owner->handler_(call->click, x, y);
  return G_SOURCE_REMOVE;
}
