#pragma once
// The shell's windows as layer surfaces, where the Wayland compositor offers the layer shell: on
// the overlay layer, above every application window and never tiled, covered, or focused by the
// compositor. The companion is anchored to all four edges of its output, so it gets the output's
// usable area (what panels with an exclusive zone leave); the tray icon window to the top right
// corner. Neither takes the keyboard until the page asks for it.
#include <gtk/gtk.h>

// The compositor of GDK's display offers the layer shell.
bool layerShellHere();
// Before the window is realised.
void makeCompanionLayer(GtkWindow* window);
void makeCornerLayer(GtkWindow* window, int margin);
bool isLayerWindow(GtkWindow* window);
void placeLayerOn(GtkWindow* window, GdkMonitor* monitor);
// On demand: the compositor gives the keyboard when the surface is clicked or presented, and
// takes it away when the user clicks elsewhere. Compositors with an older layer shell offer no
// such mode, and the page gets no keyboard there.
void setLayerKeyboard(GtkWindow* window, bool onDemand);
