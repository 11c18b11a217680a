#pragma once
// The idle time where the shell is a Wayland client: no client sees the user's input elsewhere,
// but a compositor may say when the user has been idle for a while and when input came back
// (ext-idle-notify-v1, or KDE's older idle protocol that sway and other wlroots compositors
// offer). The shell asks to hear of one idle second: while idle, the time counts from one second
// before the compositor said so; after input, it is 0 until the next idle second.
#include <cstdint>
#include <optional>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct ext_idle_notifier_v1;
struct ext_idle_notification_v1;
struct org_kde_kwin_idle;
struct org_kde_kwin_idle_timeout;

class WaylandIdle {
 public:
  // On GDK's own connection, whose events GDK dispatches on the main loop.
  WaylandIdle(wl_display* display, wl_seat* seat);
  ~WaylandIdle();
  WaylandIdle(const WaylandIdle&) = delete;
  WaylandIdle& operator=(const WaylandIdle&) = delete;

  // Nothing when the compositor offers neither protocol.
  std::optional<std::uint32_t> millis(std::uint64_t nowMs) const;

  // The protocols' callbacks.
  static void announced(void* self, wl_registry* registry, std::uint32_t name, const char* interface,
                        std::uint32_t version);
  void wentIdle();
  void resumed() { idleSinceMs_.reset(); }

 private:
  wl_registry* registry_ = nullptr;
  ext_idle_notifier_v1* notifier_ = nullptr;
  ext_idle_notification_v1* notification_ = nullptr;
  org_kde_kwin_idle* kdeIdle_ = nullptr;
  org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
  std::optional<std::uint64_t> idleSinceMs_;
};
