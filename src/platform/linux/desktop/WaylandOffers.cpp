#include "WaylandOffers.h"

#include <wayland-client.h>

#include <cstring>

namespace {

void announced(void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
  auto* offers = static_cast<WaylandOffers*>(data);
  if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) offers->layerShell = true;
  if (std::strcmp(interface, "ext_idle_notifier_v1") == 0) offers->idleNotify = true;
  if (std::strcmp(interface, "weston_desktop_shell") == 0) offers->weston = true;
}

void withdrawn(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kListener{announced, withdrawn};

}  // namespace

std::optional<WaylandOffers> askWaylandCompositor() {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return std::nullopt;
  WaylandOffers offers;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kListener, &offers);
  const bool answered = wl_display_roundtrip(display) >= 0;
  wl_registry_destroy(registry);
  wl_display_disconnect(display);
  if (!answered) return std::nullopt;
  return offers;
}
