#include "WaylandIdle.h"

#include <glib.h>
#include <wayland-client.h>

#include <cstring>

#include "ext-idle-notify-v1-client.h"
#include "kde-idle-client.h"

namespace {

constexpr std::uint32_t kIdleMs = 1000;

void withdrawn(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry{WaylandIdle::announced, withdrawn};

void extIdled(void* self, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(self)->wentIdle(); }
void extResumed(void* self, ext_idle_notification_v1*) { static_cast<WaylandIdle*>(self)->resumed(); }
const ext_idle_notification_v1_listener kExtListener{extIdled, extResumed};

void kdeIdled(void* self, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(self)->wentIdle(); }
void kdeResumed(void* self, org_kde_kwin_idle_timeout*) { static_cast<WaylandIdle*>(self)->resumed(); }
const org_kde_kwin_idle_timeout_listener kKdeListener{kdeIdled, kdeResumed};

}  // namespace

WaylandIdle::WaylandIdle(wl_display* display, wl_seat* seat) {
  if (!display || !seat) return;
  registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(registry_, &kRegistry, this);
  wl_display_roundtrip(display);
  // The standard protocol where both are offered.
  if (notifier_) {
    notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, kIdleMs, seat);
    ext_idle_notification_v1_add_listener(notification_, &kExtListener, this);
  } else if (kdeIdle_) {
    kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat, kIdleMs);
    org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kKdeListener, this);
  }
}

WaylandIdle::~WaylandIdle() {
  if (notification_) ext_idle_notification_v1_destroy(notification_);
  if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
  if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
  if (registry_) wl_registry_destroy(registry_);
}

void WaylandIdle::announced(void* self, wl_registry* registry, std::uint32_t name, const char* interface,
                            std::uint32_t) {
  auto* idle = static_cast<WaylandIdle*>(self);
  if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !idle->notifier_) {
    idle->notifier_ =
        static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
  } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !idle->kdeIdle_) {
    idle->kdeIdle_ = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
  }
}

void WaylandIdle::wentIdle() {
  const auto now = static_cast<std::uint64_t>(g_get_monotonic_time() / 1000);
  idleSinceMs_ = now > kIdleMs ? now - kIdleMs : 0;
}

std::optional<std::uint32_t> WaylandIdle::millis(std::uint64_t nowMs) const {
  if (!notification_ && !kdeTimeout_) return std::nullopt;
  if (!idleSinceMs_ || nowMs < *idleSinceMs_) return 0;
  return static_cast<std::uint32_t>(nowMs - *idleSinceMs_);
}
