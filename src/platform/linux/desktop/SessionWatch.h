#pragma once
// The session's lock state and sleep, over D-Bus.
//
// SessionWatch reports locking and unlocking: logind's Lock/Unlock signals for this session on
// the system bus, and the screen saver's ActiveChanged on the session bus (freedesktop and
// GNOME names). Without a bus nothing is reported, so the session never counts as locked.
//
// SleepInhibitor holds one logind "sleep" inhibitor while its count is above zero. Counting may
// happen on any thread; the bus work is always done on the main loop.
#include <functional>
#include <mutex>
#include <vector>

#include <gio/gio.h>

class SessionWatch {
 public:
  explicit SessionWatch(std::function<void(bool locked)> onChange);
  ~SessionWatch();
  SessionWatch(const SessionWatch&) = delete;
  SessionWatch& operator=(const SessionWatch&) = delete;

 private:
  static void signalled(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* member,
                        GVariant* parameters, gpointer self);
  std::function<void(bool)> onChange_;
  std::vector<std::pair<GDBusConnection*, guint>> subscriptions_;
};

class SleepInhibitor {
 public:
  SleepInhibitor() = default;
  ~SleepInhibitor();
  SleepInhibitor(const SleepInhibitor&) = delete;
  SleepInhibitor& operator=(const SleepInhibitor&) = delete;

  void change(bool on);  // any thread

 private:
  static gboolean updateOnMain(gpointer self);
  static void inhibitReplied(GObject* source, GAsyncResult* result, gpointer self);
  void update();

  std::mutex mutex_;
  int count_ = 0;
  // Main thread only.
  int fd_ = -1;
  bool pending_ = false;
  bool alive_ = true;
  GDBusConnection* bus_ = nullptr;
};
