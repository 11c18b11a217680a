#pragma once
// What the companion and the tray icon window tell the window manager, alike for both: no frame,
// kept above, off the task bar and pager, on every workspace (sticky, _NET_WM_DESKTOP all), and
// never given the keyboard by mapping or showing (no input asked for, user time 0). The page's
// own focus request is the only way to the keyboard: accept-focus is switched on for it alone.
#include <gtk/gtk.h>

void applyCompanionHints(GtkWindow* window, const char* title);
// After the window is realised: the "no input" focus model. GTK also offers WM_TAKE_FOCUS, and
// with it even a window that asks for no input counts as one that takes the focus itself, which
// some managers (sway, for XWayland windows) give it at every map.
void declareNoInput(GtkWidget* window);
// Before each show. A click on the window leaves its time as the window's user time, and a
// manager would take the next map for the user's own doing and focus it; 0 says it is not.
void forgetUserTime(GtkWidget* window);
