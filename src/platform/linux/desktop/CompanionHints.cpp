#include "CompanionHints.h"

void applyCompanionHints(GtkWindow* window, const char* title) {
  gtk_window_set_title(window, title);
  gtk_window_set_decorated(window, FALSE);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_keep_above(window, TRUE);
  gtk_window_set_skip_taskbar_hint(window, TRUE);
  gtk_window_set_skip_pager_hint(window, TRUE);
  gtk_window_set_accept_focus(window, FALSE);
  gtk_window_set_focus_on_map(window, FALSE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
  // Like a tool window, on every virtual desktop; GTK says so again at every map.
  gtk_window_stick(window);
}
