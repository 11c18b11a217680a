#pragma once
// A StatusNotifier host that draws no menus (swaybar, among others) reports clicks on the icon by
// calling the item's Activate(x, y), SecondaryActivate(x, y) and ContextMenu(x, y) methods (the
// GNOME extension's middle click calls XAyatanaSecondaryActivate(time)). libayatana-appindicator
// exports the item and its menu but answers none of these usefully and offers no way to hear
// them, so they are taken off the session bus connection it shares with the shell before they
// reach it: a filter on that connection (GDBus runs it on its worker thread) passes each such
// call to the main loop, which answers the caller and reports the click. Every other call, the
// exported menu's included, still goes to the library, so hosts that read the menu keep working.
#include <atomic>
#include <functional>
#include <memory>

#include <gio/gio.h>

class StatusNotifierClicks {
 public:
  enum class Click { Primary, Secondary, Context };
  // On the main loop; x, y: where the host says the click was (root pixels), 0, 0 when unknown.
  using Handler = std::function<void(Click click, int x, int y)>;

  explicit StatusNotifierClicks(Handler handler);
  ~StatusNotifierClicks();
  StatusNotifierClicks(const StatusNotifierClicks&) = delete;
  StatusNotifierClicks& operator=(const StatusNotifierClicks&) = delete;

  // Calls are taken only while the item is exported; otherwise they fail as they would anyway.
  void setActive(bool on);

 private:
  struct Link;
  struct PendingCall;
  static void freeLink(gpointer link);
  static void freeCall(gpointer call);
  static GDBusMessage* filter(GDBusConnection* bus, GDBusMessage* message, gboolean incoming, gpointer link);
  static gboolean deliver(gpointer call);

  Handler handler_;
  std::shared_ptr<Link> link_;
  GDBusConnection* bus_ = nullptr;
  guint filter_ = 0;
};
