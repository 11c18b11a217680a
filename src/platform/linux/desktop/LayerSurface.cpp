#include "LayerSurface.h"

#include <gtk-layer-shell/gtk-layer-shell.h>

#include <initializer_list>

namespace {

void onOverlay(GtkWindow* window, const char* name) {
  gtk_layer_init_for_window(window);
  gtk_layer_set_layer(window, GTK_LAYER_SHELL_LAYER_OVERLAY);
  gtk_layer_set_namespace(window, name);
  gtk_layer_set_keyboard_mode(window, GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
  // Zero: the surface keeps out of other surfaces' exclusive zones and claims none itself.
  gtk_layer_set_exclusive_zone(window, 0);
}

}  // namespace

void makeCompanionLayer(GtkWindow* window) {
  onOverlay(window, "tamsel-desk");
  for (auto edge : {GTK_LAYER_SHELL_EDGE_LEFT, GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_TOP,
                    GTK_LAYER_SHELL_EDGE_BOTTOM}) {
    gtk_layer_set_anchor(window, edge, TRUE);
  }
}

void makeCornerLayer(GtkWindow* window, int margin) {
  onOverlay(window, "tamsel-desk-tray");
  for (auto edge : {GTK_LAYER_SHELL_EDGE_RIGHT, GTK_LAYER_SHELL_EDGE_TOP}) {
    gtk_layer_set_anchor(window, edge, TRUE);
    gtk_layer_set_margin(window, edge, margin);
  }
}

bool layerShellHere() { return gtk_layer_is_supported(); }

bool isLayerWindow(GtkWindow* window) { return gtk_layer_is_layer_window(window); }

void placeLayerOn(GtkWindow* window, GdkMonitor* monitor) {
  if (gtk_layer_get_monitor(window) != monitor) gtk_layer_set_monitor(window, monitor);
}

void setLayerKeyboard(GtkWindow* window, bool onDemand) {
  // Before version 4 (KDE Plasma 5.27) the keyboard can only be taken for good: then never.
  if (onDemand && gtk_layer_get_protocol_version() < 4) return;
  gtk_layer_set_keyboard_mode(window, onDemand ? GTK_LAYER_SHELL_KEYBOARD_MODE_ON_DEMAND
                                               : GTK_LAYER_SHELL_KEYBOARD_MODE_NONE);
}
