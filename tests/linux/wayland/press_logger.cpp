// A plain application window for the Wayland tests: it fills what the compositor gives it and
// writes one line per button press ("press X Y", window coordinates) to standard output, and
// "mapped" once it is on screen. Run with GDK_BACKEND=wayland (native) or x11 (through XWayland).
#include <gtk/gtk.h>

#include <cstdio>

namespace {

gboolean pressed(GtkWidget*, GdkEventButton* event, gpointer) {
  if (event->type == GDK_BUTTON_PRESS) std::printf("press %d %d\n", static_cast<int>(event->x), static_cast<int>(event->y));
  std::fflush(stdout);
  return TRUE;
}

gboolean mapped(GtkWidget*, GdkEvent*, gpointer) {
  std::printf("mapped\n");
  std::fflush(stdout);
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), argc > 1 ? argv[1] : "press-logger");
  gtk_window_set_default_size(GTK_WINDOW(window), 1280, 800);
  gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window, "button-press-event", G_CALLBACK(pressed), nullptr);
  g_signal_connect(window, "map-event", G_CALLBACK(mapped), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show(window);
  gtk_main();
  return 0;
}
