#include "TrayIconWindow.h"

#include "CompanionHints.h"
#include "LayerSurface.h"

namespace {

constexpr int kSize = 32;    // logical pixels, like a panel's icon
constexpr int kMargin = 8;   // from the work area's edges
constexpr int kPadding = 4;  // around the icon on its plate

}  // namespace

TrayIconWindow::TrayIconWindow(GdkPixbuf* icon, const char* title, GtkWindowType type,
                               std::function<void(TrayEvent)> onClick)
    : icon_(GDK_PIXBUF(g_object_ref(icon))), onClick_(std::move(onClick)) {
  window_ = gtk_window_new(type);
  applyCompanionHints(GTK_WINDOW(window_), title);
  gtk_widget_set_size_request(window_, kSize, kSize);
  gtk_widget_set_tooltip_text(window_, title);
  gtk_widget_set_app_paintable(window_, TRUE);
  gtk_widget_add_events(window_, GDK_BUTTON_PRESS_MASK);
  g_signal_connect(window_, "draw", G_CALLBACK(draw), this);
  g_signal_connect(window_, "button-press-event", G_CALLBACK(pressed), this);
  if (layerShellHere()) makeCornerLayer(GTK_WINDOW(window_), kMargin);
  gtk_widget_realize(window_);
  declareNoInput(window_);
}

TrayIconWindow::~TrayIconWindow() {
  gtk_widget_destroy(window_);
  g_object_unref(icon_);
}

void TrayIconWindow::place() {
  if (isLayerWindow(GTK_WINDOW(window_))) return;  // anchored to its corner by the compositor
  GdkDisplay* display = gtk_widget_get_display(window_);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
  if (!monitor) return;
  GdkRectangle area{};
  gdk_monitor_get_workarea(monitor, &area);
  gtk_window_move(GTK_WINDOW(window_), area.x + area.width - kSize - kMargin, area.y + kMargin);
}

void TrayIconWindow::show() {
  place();
  forgetUserTime(window_);
  gtk_widget_show(window_);
  gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
  gtk_window_stick(GTK_WINDOW(window_));
}

void TrayIconWindow::hide() { gtk_widget_hide(window_); }

gboolean TrayIconWindow::draw(GtkWidget* widget, cairo_t* cr, gpointer self) {
  auto* icon = static_cast<TrayIconWindow*>(self);
  const double size = gtk_widget_get_allocated_width(widget);
  // A dark plate, so the icon shows on any desktop, with the program's icon on it.
  cairo_set_source_rgb(cr, 0.25, 0.23, 0.19);
  cairo_paint(cr);
  const double inner = size - 2 * kPadding;
  const double scale = inner / gdk_pixbuf_get_width(icon->icon_);
  cairo_translate(cr, kPadding, kPadding);
  cairo_scale(cr, scale, scale);
  gdk_cairo_set_source_pixbuf(cr, icon->icon_, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

gboolean TrayIconWindow::pressed(GtkWidget*, GdkEventButton* event, gpointer self) {
  auto* icon = static_cast<TrayIconWindow*>(self);
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  if (event->button == 1) icon->onClick_(TrayEvent::Select);
  if (event->button == 3) icon->onClick_(TrayEvent::RightButtonUp);
  return TRUE;
}
