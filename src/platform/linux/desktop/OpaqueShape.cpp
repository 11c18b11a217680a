#include "OpaqueShape.h"

namespace {
constexpr guint kRefreshMs = 300;
}

OpaqueShape::OpaqueShape(GtkWidget* window, WebKitWebView* view)
    : window_(window), view_(view), screen_(gtk_widget_get_screen(window)) {
  g_object_ref(window_);
  g_object_ref(view_);
  screenSignal_ = g_signal_connect(screen_, "composited-changed", G_CALLBACK(compositedChanged), this);
  follow();
}

OpaqueShape::~OpaqueShape() {
  if (cancellable_) {
    g_cancellable_cancel(cancellable_);
    g_object_unref(cancellable_);
  }
  if (timer_) g_source_remove(timer_);
  if (applied_) cairo_region_destroy(applied_);
  g_signal_handler_disconnect(screen_, screenSignal_);
  if (GdkWindow* gdkWindow = gtk_widget_get_window(window_)) gdk_window_shape_combine_region(gdkWindow, nullptr, 0, 0);
  g_object_unref(view_);
  g_object_unref(window_);
}

bool OpaqueShape::alphaWorks() const {
  GdkVisual* visual = gtk_widget_get_visual(window_);
  return gdk_screen_is_composited(screen_) && visual && gdk_visual_get_depth(visual) == 32;
}

void OpaqueShape::follow() {
  const bool composited = alphaWorks();
  if (composited && timer_) {
    g_source_remove(timer_);
    timer_ = 0;
  }
  if (composited) {
    if (GdkWindow* gdkWindow = gtk_widget_get_window(window_)) gdk_window_shape_combine_region(gdkWindow, nullptr, 0, 0);
    if (applied_) cairo_region_destroy(applied_);
    applied_ = nullptr;
    return;
  }
  if (!timer_) timer_ = g_timeout_add(kRefreshMs, tick, this);
}

void OpaqueShape::compositedChanged(GdkScreen*, gpointer self) { static_cast<OpaqueShape*>(self)->follow(); }

gboolean OpaqueShape::tick(gpointer self) {
  auto* shape = static_cast<OpaqueShape*>(self);
  if (shape->cancellable_ || !gtk_widget_get_mapped(shape->window_)) return G_SOURCE_CONTINUE;
  shape->cancellable_ = g_cancellable_new();
  webkit_web_view_get_snapshot(shape->view_, WEBKIT_SNAPSHOT_REGION_VISIBLE,
                               WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND, shape->cancellable_, snapshotReady,
                               self);
  return G_SOURCE_CONTINUE;
}

void OpaqueShape::snapshotReady(GObject* source, GAsyncResult* result, gpointer self) {
  GError* error = nullptr;
  cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
  // A cancelled snapshot belongs to a shape that is gone: touch nothing.
  if (error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    g_error_free(error);
    if (surface) cairo_surface_destroy(surface);
    return;
  }
  if (error) g_error_free(error);
  auto* shape = static_cast<OpaqueShape*>(self);
  g_clear_object(&shape->cancellable_);
  if (!surface) return;
  GdkWindow* gdkWindow = gtk_widget_get_window(shape->window_);
  if (gdkWindow && !shape->alphaWorks()) {
    cairo_region_t* region = gdk_cairo_region_create_from_surface(surface);
    if (!shape->applied_ || !cairo_region_equal(region, shape->applied_)) {
      gdk_window_shape_combine_region(gdkWindow, region, 0, 0);
      // What the new shape uncovers of the window was never painted on screen: paint it now.
      gtk_widget_queue_draw(shape->window_);
      if (shape->applied_) cairo_region_destroy(shape->applied_);
      shape->applied_ = cairo_region_reference(region);
    }
    cairo_region_destroy(region);
  }
  cairo_surface_destroy(surface);
}
