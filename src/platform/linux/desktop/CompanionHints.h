#pragma once
// What the companion and the tray icon window tell the window manager, alike for both: no frame,
// kept above, off the task bar and pager, on every workspace (sticky, _NET_WM_DESKTOP all), and
// never focused when mapped.
#include <gtk/gtk.h>

void applyCompanionHints(GtkWindow* window, const char* title);
