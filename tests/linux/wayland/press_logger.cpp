// A plain application window for the Wayland tests: "mapped" once shown, then "press X Y" (window
// coordinates) per button press, on standard output. GDK_BACKEND says Wayland or X.
#include <gtk/gtk.h>

#include <cstdio>

static gboolean pressed(GtkWidget*, GdkEventButton* e, gpointer) {
  if (e->type == GDK_BUTTON_PRESS) std::printf("press %d %d\n", int(e->x), int(e->y));
  return std::fflush(stdout), TRUE;
}

static gboolean mapped(GtkWidget*, GdkEvent*, gpointer) { return std::printf("mapped\n"), std::fflush(stdout), FALSE; }

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), argv[argc - 1]);
  gtk_widget_add_events(window, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window, "button-press-event", G_CALLBACK(pressed), nullptr);
  g_signal_connect(window, "map-event", G_CALLBACK(mapped), nullptr);
  gtk_widget_show(window);
  gtk_main();
}
