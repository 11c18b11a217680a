#pragma once
// Without a compositing manager X has no per-pixel alpha: the window's transparent pixels would
// cover the work area in black. While the screen is not composited, the window's bounding shape
// (X11 Shape extension) follows what the page really draws: a snapshot of the view with a
// transparent background, turned into the region of its non-transparent pixels, a few times a
// second. With a compositor (and a window made with an alpha channel) the shape is removed and
// alpha does the work.
#include <webkit2/webkit2.h>

class OpaqueShape {
 public:
  OpaqueShape(GtkWidget* window, WebKitWebView* view);
  ~OpaqueShape();
  OpaqueShape(const OpaqueShape&) = delete;
  OpaqueShape& operator=(const OpaqueShape&) = delete;

 private:
  // A compositor shows the window's alpha only if the window has an alpha channel: a window
  // made before the compositor started keeps being cut to shape.
  bool alphaWorks() const;
  void follow();
  static void compositedChanged(GdkScreen*, gpointer self);
  static gboolean tick(gpointer self);
  static void snapshotReady(GObject* source, GAsyncResult* result, gpointer self);

  GtkWidget* window_;
  WebKitWebView* view_;
  GdkScreen* screen_;
  gulong screenSignal_ = 0;
  guint timer_ = 0;
  GCancellable* cancellable_ = nullptr;  // the snapshot in flight, if any
  cairo_region_t* applied_ = nullptr;    // the shape the window has now
};
