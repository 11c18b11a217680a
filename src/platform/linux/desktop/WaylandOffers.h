#pragma once
// What the session's Wayland compositor offers a client, asked once on a connection of its own
// before GTK opens its display: GDK's backend is chosen by the answer and cannot change later.
#include <optional>

struct WaylandOffers {
  bool layerShell = false;  // zwlr_layer_shell_v1: surfaces above every window, input region of their own
  bool idleNotify = false;  // ext_idle_notifier_v1: the compositor tells when the user goes idle
  // weston_desktop_shell: weston, which places X windows of its own accord (its utility windows
  // top left) and only windows that bypass the window manager where they ask.
  bool weston = false;
};

// Nothing when no Wayland compositor answers on WAYLAND_DISPLAY (an X session).
std::optional<WaylandOffers> askWaylandCompositor();
