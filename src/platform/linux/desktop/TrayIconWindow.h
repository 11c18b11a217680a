#pragma once
// The tray icon as a small window of its own, for a desktop where no tray takes the icon (a bare
// X session, a desktop without a tray extension): kept above everything, off the task bar and
// pager, on every workspace, never taking the focus, at the top right of the primary monitor's
// work area. Clicks arrive as the notification area reports them (left: Select, right:
// RightButtonUp), so hide, show, reload and exit stay within reach.
#include <functional>

#include <gtk/gtk.h>

#include "app/Desktop.h"

class TrayIconWindow {
 public:
  TrayIconWindow(GdkPixbuf* icon, const char* title, GtkWindowType type, std::function<void(TrayEvent)> onClick);
  ~TrayIconWindow();
  TrayIconWindow(const TrayIconWindow&) = delete;
  TrayIconWindow& operator=(const TrayIconWindow&) = delete;

  void show();
  void hide();
  GtkWidget* widget() const { return window_; }

 private:
  static gboolean draw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean pressed(GtkWidget*, GdkEventButton* event, gpointer self);
  void place();

  GtkWidget* window_ = nullptr;
  GdkPixbuf* icon_ = nullptr;
  std::function<void(TrayEvent)> onClick_;
};
