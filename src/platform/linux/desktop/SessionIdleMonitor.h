#pragma once
// The idle time in a Wayland session. There XWayland sees only the input that goes to X windows,
// so the X screen saver's idle time grows while the user types or points anywhere else. GNOME's
// compositor tells its own on the session bus (org.gnome.Mutter.IdleMonitor, the core monitor).
// Every reading asks it again and returns the last answer, so no reading waits on the bus; before
// the first answer, or where no such monitor answers (it is then asked no more), there is none
// and the X idle time stands in.
#include <cstdint>
#include <optional>

#include <gio/gio.h>

class SessionIdleMonitor {
 public:
  SessionIdleMonitor();
  ~SessionIdleMonitor();
  SessionIdleMonitor(const SessionIdleMonitor&) = delete;
  SessionIdleMonitor& operator=(const SessionIdleMonitor&) = delete;

  // True in a Wayland session (the desktop is drawn by a Wayland compositor, the shell's window
  // goes through XWayland).
  static bool waylandSession();
  // Milliseconds since the last input the compositor saw, as it last said.
  std::optional<std::uint32_t> millis();

 private:
  static void answered(GObject* source, GAsyncResult* result, gpointer self);

  GDBusConnection* bus_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  bool asking_ = false;
  bool missing_ = false;
  std::optional<std::uint32_t> last_;
};
