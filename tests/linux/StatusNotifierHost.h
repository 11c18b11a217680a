#pragma once
// A StatusNotifier host for tests: it owns org.kde.StatusNotifierWatcher on the session bus,
// takes the item that registers, and drives the item's exported menu (com.canonical.dbusmenu)
// the way a panel does: read the layout, send "clicked" to an entry.
#include <gio/gio.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct TrayMenuEntry {
  int id = 0;
  std::string label;
  bool checked = false;
};

class StatusNotifierHost {
 public:
  explicit StatusNotifierHost(const std::string& busAddress);
  ~StatusNotifierHost();

  bool owned() const { return owned_; }
  bool itemRegistered();
  // The menu's entries as the host would show them now (separators left out).
  std::vector<TrayMenuEntry> menu();
  // Clicks the entry with this label; false when there is none or the call failed.
  bool click(const std::string& label);
  // A middle click on the icon, as hosts report it.
  bool secondaryActivate();

 private:
  void run();
  bool menuAddress(std::string& service, std::string& path);
  static void methodCalled(GDBusConnection*, const gchar* sender, const gchar*, const gchar*, const gchar* method,
                           GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self);
  static GVariant* propertyRead(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                                GError**, gpointer self);

  std::string address_;
  GDBusConnection* client_ = nullptr;  // the test's own connection for calls
  std::atomic<bool> owned_{false};
  std::atomic<bool> ready_{false};
  std::mutex mutex_;
  std::string itemService_;
  std::string itemPath_;
  GMainContext* context_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::thread thread_;
};
