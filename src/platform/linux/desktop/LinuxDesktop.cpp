// The companion window: undecorated, RGBA, kept above, off the task bar and pager, on every
// workspace, never focused when mapped. Click-through is the input shape: an empty input region
// lets every pointer event fall through to the window beneath; no shape at all gives the window
// the whole mouse. As a layer surface the window hears the pointer only over its input region,
// so there the region is the page's shapes.
#include "LinuxDesktop.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "CompanionHints.h"
#include "KeepOnTop.h"
#include "LayerSurface.h"
#include "LinuxTray.h"
#include "PointerWatch.h"
#include "SessionIdleMonitor.h"
#include "SessionWatch.h"
#include "SingleInstance.h"
#include "WaylandIdle.h"
#include "app/Timers.h"
#include "common/text.h"

// The inhibitor exists from the start: workers may count on it at any time.
LinuxDesktop::LinuxDesktop(int argc, char** argv)
    : argc_(argc), argv_(argv), inhibitor_(std::make_unique<SleepInhibitor>()) {}

LinuxDesktop::~LinuxDesktop() {
  if (watchingWorkArea_) gdk_window_remove_filter(gdk_get_default_root_window(), workAreaFilter, this);
  // Nothing may reach an App that is gone; undelivered posts free their payloads as their idle
  // sources are dispatched empty here.
  accepting_ = false;
  events_ = nullptr;
  for (auto& [id, source] : timers_) g_source_remove(source);
  timers_.clear();
  pointerWatch_.reset();
  if (view_) {
    g_signal_handlers_disconnect_by_data(view_, this);
    g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  }
  for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i) g_main_context_iteration(nullptr, FALSE);
  tray_.reset();
  session_.reset();
  if (window_) gtk_widget_destroy(window_);
  if (loop_) g_main_loop_unref(loop_);
}

bool LinuxDesktop::ensureGtk() {
  if (gtkReady_) return true;
  // A Wayland compositor with the layer shell (sway, KDE Plasma, other wlroots ones) takes the
  // window as a surface of its own above everything. Everywhere else the window is an X window,
  // through XWayland on GNOME or weston: there the input shape, XQueryPointer and the screen
  // saver extension work as on X11. GDK_BACKEND=x11 keeps it an X window anywhere.
  const char* forced = g_getenv("GDK_BACKEND");
  const auto named = [](const char* name) { return g_getenv(name) && *g_getenv(name); };
  const bool waylandAsked = named("WAYLAND_DISPLAY") || named("WAYLAND_SOCKET");
  if (waylandAsked && !(forced && g_str_has_prefix(forced, "x11"))) wayland_ = askWaylandCompositor();
  const bool layered = wayland_ && wayland_->layerShell;
  gdk_set_allowed_backends(layered ? "wayland,x11" : "x11");
  // A session-wide GDK_BACKEND=wayland would leave GDK no display it may open; the programs the
  // shell starts still get it.
  const std::string backend = forced ? forced : "";
  const bool hidden = !layered && forced && !std::strstr(forced, "x11");
  if (hidden) g_unsetenv("GDK_BACKEND");
  gtkReady_ = gtk_init_check(&argc_, &argv_);
  if (hidden) g_setenv("GDK_BACKEND", backend.c_str(), TRUE);
  layer_ = gtkReady_ && layered && GDK_IS_WAYLAND_DISPLAY(gdk_display_get_default());
  cutToShapes_ = gtkReady_ && !layer_ && SessionIdleMonitor::waylandSession();
  return gtkReady_;
}

int LinuxDesktop::scale() const {
  if (window_) return std::max(1, gtk_widget_get_scale_factor(window_));
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = display ? gdk_display_get_monitor(display, 0) : nullptr;
  return monitor ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
}

bool LinuxDesktop::createWindow() {
  if (window_) return true;
  if (!ensureGtk()) {
    const char* display = g_getenv("DISPLAY");
    g_printerr("tamsel-desk: cannot open the X display (DISPLAY=%s)\n", display ? display : "");
    return false;
  }

  window_ = gtk_window_new(shellWindowType());
  if (!window_) return false;
  GtkWindow* win = GTK_WINDOW(window_);
  applyCompanionHints(win, "在线Tamsel桌面小屋");
  gtk_window_set_default_size(win, 100, 100);
  gtk_widget_set_app_paintable(window_, TRUE);
  applyTransparency();

  g_signal_connect(window_, "destroy", G_CALLBACK(windowDestroyedThunk), this);
  g_signal_connect(window_, "delete-event", G_CALLBACK(deleteThunk), this);
  g_signal_connect(window_, "draw", G_CALLBACK(drawThunk), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(configureThunk), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(mappedThunk), this);
  g_signal_connect(window_, "focus-in-event", G_CALLBACK(focusThunk), this);
  g_signal_connect(window_, "focus-out-event", G_CALLBACK(focusLostThunk), this);
  g_signal_connect(window_, "screen-changed", G_CALLBACK(screenChangedThunk), this);
  g_signal_connect(window_, "notify::scale-factor", G_CALLBACK(scaleChangedThunk), this);
  GdkScreen* screen = gtk_widget_get_screen(window_);
  g_signal_connect(screen, "monitors-changed", G_CALLBACK(monitorsChangedThunk), this);
  g_signal_connect(screen, "composited-changed", G_CALLBACK(compositedChangedThunk), this);
  watchWorkArea();

  if (layer_) {
    makeCompanionLayer(win);
    hearPointerOn(window_);
  }
  gtk_widget_realize(window_);
  declareNoInput(window_);
  clickThrough_ = true;
  applyInputShape();
  keepOnTop(window_);
  return true;
}

void LinuxDesktop::keepOnTop(GtkWidget* window) {
  if (!keepOnTop_) keepOnTop_ = std::make_unique<KeepOnTop>();
  keepOnTop_->keep(window);
}

void LinuxDesktop::watchWorkArea() {
  // Panels change the work area by their struts; the window manager then rewrites _NET_WORKAREA
  // on the root window, which is the one place every such change shows.
  GdkWindow* root = gdk_get_default_root_window();
  if (!root || !GDK_IS_X11_WINDOW(root) || watchingWorkArea_) return;
  workAreaAtom_ = gdk_x11_get_xatom_by_name("_NET_WORKAREA");
  gdk_window_set_events(root, static_cast<GdkEventMask>(gdk_window_get_events(root) | GDK_PROPERTY_CHANGE_MASK));
  gdk_window_add_filter(root, workAreaFilter, this);
  watchingWorkArea_ = true;
}

GdkFilterReturn LinuxDesktop::workAreaFilter(GdkXEvent* native, GdkEvent*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  const auto* event = static_cast<XEvent*>(native);
  if (event->type == PropertyNotify && event->xproperty.atom == desktop->workAreaAtom_ && desktop->events_) {
    desktop->events_->onWorkAreaChanged();
  }
  return GDK_FILTER_CONTINUE;
}

void LinuxDesktop::applyTransparency() {
  if (!window_) return;
  // The visual can only be chosen before the window is realised. The RGBA one is taken only
  // under a compositing manager: without one, the X server copies such windows without their
  // alpha, and the window is cut to the page's drawn pixels instead (OpaqueShape).
  if (gtk_widget_get_realized(window_)) {
    gtk_widget_queue_draw(window_);
    return;
  }
  GdkScreen* screen = gtk_widget_get_screen(window_);
  GdkVisual* visual = gdk_screen_is_composited(screen) ? gdk_screen_get_rgba_visual(screen) : nullptr;
  gtk_widget_set_visual(window_, visual ? visual : gdk_screen_get_system_visual(screen));
}

gboolean LinuxDesktop::drawThunk(GtkWidget*, cairo_t* cr, gpointer) {
  // Every pixel the page leaves transparent stays transparent.
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(cr, 0, 0, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  return FALSE;
}

gboolean LinuxDesktop::deleteThunk(GtkWidget*, GdkEvent*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) {
    desktop->events_->onClose();
  } else {
    desktop->destroyWindow();
  }
  return TRUE;
}

gboolean LinuxDesktop::configureThunk(GtkWidget*, GdkEventConfigure*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) desktop->events_->onSize();
  return FALSE;
}

gboolean LinuxDesktop::mappedThunk(GtkWidget*, GdkEvent*, gpointer self) {
  // A window manager that frames the window copies its input shape to the frame only when the
  // shape changes after it took the window; said again now, the frame lets clicks through too,
  // instead of taking every click on the desktop until the pointer first crosses the page.
  static_cast<LinuxDesktop*>(self)->applyInputShape();
  return FALSE;
}

gboolean LinuxDesktop::focusThunk(GtkWidget*, GdkEventFocus*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) desktop->events_->onSetFocus();
  return FALSE;
}

gboolean LinuxDesktop::focusLostThunk(GtkWidget* window, GdkEventFocus*, gpointer) {
  // The keyboard the page asked for has gone elsewhere: the window asks for none again.
  gtk_window_set_accept_focus(GTK_WINDOW(window), FALSE);
  if (isLayerWindow(GTK_WINDOW(window))) setLayerKeyboard(GTK_WINDOW(window), false);
  return FALSE;
}

void LinuxDesktop::screenChangedThunk(GtkWidget*, GdkScreen*, gpointer self) {
  static_cast<LinuxDesktop*>(self)->applyTransparency();
}

void LinuxDesktop::monitorsChangedThunk(GdkScreen*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) desktop->events_->onDisplayChanged();
}

void LinuxDesktop::compositedChangedThunk(GdkScreen*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) desktop->events_->onCompositionChanged();
}

void LinuxDesktop::scaleChangedThunk(GObject*, GParamSpec*, gpointer self) {
  auto* desktop = static_cast<LinuxDesktop*>(self);
  if (desktop->events_) desktop->events_->onDpiChanged();
}

void LinuxDesktop::windowDestroyedThunk(GtkWidget*, gpointer self) {
  static_cast<LinuxDesktop*>(self)->onWindowDestroyed();
}

void LinuxDesktop::onWindowDestroyed() {
  window_ = nullptr;
  if (events_) events_->onDestroy();
}

void LinuxDesktop::destroyWindow() {
  if (!window_ || destroying_) return;
  destroying_ = true;
  GtkWidget* window = window_;
  // The destroy handler clears window_ and runs onDestroy before this returns.
  gtk_widget_destroy(window);
  destroying_ = false;
}

bool LinuxDesktop::windowExists() { return window_ != nullptr; }

void LinuxDesktop::showWindowNoActivate() {
  if (!window_) return;
  gtk_window_set_focus_on_map(GTK_WINDOW(window_), FALSE);
  forgetUserTime(window_);
  gtk_widget_show(window_);
  if (layer_) {
    applyInputShape();
    wakePointerTick();
    return;
  }
  if (cutToShapes_) fitToShapes();
  // Mapping may drop the position, the above state and stickiness with some window managers.
  if (!cutToShapes_) gtk_window_move(GTK_WINDOW(window_), rect_.left / scale(), rect_.top / scale());
  gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
  gtk_window_stick(GTK_WINDOW(window_));
  applyInputShape();
  wakePointerTick();
}

void LinuxDesktop::hideWindow() {
  if (!window_) return;
  gtk_widget_hide(window_);
}

bool LinuxDesktop::windowVisible() { return window_ && gtk_widget_get_visible(window_); }

void LinuxDesktop::setWindowRect(const ScreenRect& rect) {
  rect_ = rect;
  if (!window_) return;
  if (layer_) {
    // The compositor sizes the surface to its output's usable area; only the output is chosen.
    const ScreenPoint middle{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    if (MonitorHandle monitor = monitorNearest(middle))
      placeLayerOn(GTK_WINDOW(window_), reinterpret_cast<GdkMonitor*>(monitor));
    wakePointerTick();
    return;
  }
  if (cutToShapes_) {
    fitToShapes();
    gtk_window_set_keep_above(GTK_WINDOW(window_), TRUE);
    wakePointerTick();
    return;
  }
  const int s = scale();
  const int width = std::max(1, (rect.right - rect.left) / s);
  const int height = std::max(1, (rect.bottom - rect.top) / s);
  GtkWindow* win = GTK_WINDOW(window_);
  gtk_window_move(win, rect.left / s, rect.top / s);
  gtk_window_resize(win, width, height);
  gtk_widget_set_size_request(window_, width, height);
  gtk_window_set_keep_above(win, TRUE);
  wakePointerTick();
}

ScreenRect LinuxDesktop::clientRect() {
  if (!window_) return {};
  // The page's size, also while the window is cut to its shapes.
  if (cutToShapes_) return {0, 0, rect_.right - rect_.left, rect_.bottom - rect_.top};
  const int s = scale();
  int width = 0;
  int height = 0;
  gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
  return {0, 0, width * s, height * s};
}

ScreenPoint LinuxDesktop::screenToClient(ScreenPoint p) {
  // The rectangle the shell asked for, not the server's answer: right after a move, a window
  // manager may not have applied it yet, and the page must hear positions in the new place.
  return {p.x - rect_.left, p.y - rect_.top};
}

void LinuxDesktop::applyInputShape() {
  if (!window_) return;
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  if (!gdkWindow) return;
  if (layer_) {
    // Always the shapes, also while the window takes the mouse: a press that began on one keeps
    // the pointer by the compositor's implicit grab, and a compositor looks at a changed region
    // only at the pointer's next motion, so a whole-window region would take one more click.
    cairo_region_t* region = shapes_.region(scale());
    gdk_window_input_shape_combine_region(gdkWindow, region, 0, 0);
    cairo_region_destroy(region);
  } else if (clickThrough_) {
    cairo_region_t* empty = cairo_region_create();
    gdk_window_input_shape_combine_region(gdkWindow, empty, 0, 0);
    cairo_region_destroy(empty);
  } else {
    gdk_window_input_shape_combine_region(gdkWindow, nullptr, 0, 0);
  }
}

void LinuxDesktop::setClickThrough(bool on) {
  clickThrough_ = on;
  // The window asks for no input even while it takes the mouse: a click on a shape, or the
  // pointer over it under a manager whose focus follows the mouse, would take the keyboard from
  // the window the user types in. Only the page's request gives it (setForeground).
  applyInputShape();
}

bool LinuxDesktop::isForeground() { return window_ && gtk_window_is_active(GTK_WINDOW(window_)); }

void LinuxDesktop::setForeground() {
  if (!window_) return;
  gtk_window_set_accept_focus(GTK_WINDOW(window_), TRUE);
  if (layer_) setLayerKeyboard(GTK_WINDOW(window_), true);
  GdkWindow* gdkWindow = gtk_widget_get_window(window_);
  guint32 time = gdkWindow && GDK_IS_X11_WINDOW(gdkWindow) ? gdk_x11_get_server_time(gdkWindow) : GDK_CURRENT_TIME;
  gtk_window_present_with_time(GTK_WINDOW(window_), time);
}

double LinuxDesktop::windowScale() { return static_cast<double>(scale()); }

// The shapes become the input region where the window is a layer surface, and the window's
// bounds where it is cut to them.
void LinuxDesktop::setPageRegion(const PageRegion& region) {
  shapes_.set(region);
  if (layer_) applyInputShape();
  if (cutToShapes_) fitToShapes();
}

void LinuxDesktop::holdView(GtkWidget* view) {
  if (!window_) return;
  if (view_) g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
  view_ = view;
  g_object_add_weak_pointer(G_OBJECT(view), reinterpret_cast<gpointer*>(&view_));
  if (layer_) hearPointerOn(view);
  if (!cutToShapes_) {
    gtk_container_add(GTK_CONTAINER(window_), view);
    return;
  }
  // A layout asks for no size of its own, so the window can be smaller than the view in it.
  if (!viewport_) {
    viewport_ = gtk_layout_new(nullptr, nullptr);
    gtk_widget_set_app_paintable(viewport_, TRUE);
    gtk_container_add(GTK_CONTAINER(window_), viewport_);
    gtk_widget_show(viewport_);
  }
  gtk_layout_put(GTK_LAYOUT(viewport_), view, 0, 0);
  fitToShapes();
}

void LinuxDesktop::hearPointerOn(GtkWidget* widget) {
  gtk_widget_add_events(widget, GDK_POINTER_MOTION_MASK | GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK |
                                    GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
  g_signal_connect(widget, "event", G_CALLBACK(pointerEventThunk), this);
}

gboolean LinuxDesktop::pointerEventThunk(GtkWidget*, GdkEvent* event, gpointer self) {
  switch (event->type) {
    case GDK_MOTION_NOTIFY:
    case GDK_ENTER_NOTIFY:
    case GDK_LEAVE_NOTIFY:
    case GDK_BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
      static_cast<LinuxDesktop*>(self)->wakePointerTick();
      break;
    default:
      break;
  }
  return FALSE;
}

void LinuxDesktop::fitToShapes() {
  if (!window_ || !cutToShapes_) return;
  const int s = scale();
  const int fullWidth = std::max(1, (rect_.right - rect_.left) / s);
  const int fullHeight = std::max(1, (rect_.bottom - rect_.top) / s);
  cairo_rectangle_int_t box = shapes_.bounds(s);
  // Kept on the work area; with nothing drawn yet, one pixel in its corner.
  const int left = std::clamp(box.x, 0, fullWidth - 1);
  const int top = std::clamp(box.y, 0, fullHeight - 1);
  const int width = std::clamp(box.x + box.width, left + 1, fullWidth) - left;
  const int height = std::clamp(box.y + box.height, top + 1, fullHeight) - top;
  GtkWindow* win = GTK_WINDOW(window_);
  gtk_window_move(win, rect_.left / s + left, rect_.top / s + top);
  gtk_widget_set_size_request(window_, width, height);
  gtk_window_resize(win, width, height);
  if (view_ && viewport_ && gtk_widget_get_parent(view_) == viewport_) {
    gtk_widget_set_size_request(view_, fullWidth, fullHeight);
    gtk_layout_set_size(GTK_LAYOUT(viewport_), fullWidth, fullHeight);
    // The layout scrolls to the window's place; the bounds must admit it before the window's
    // new size has reached the layout.
    GtkAdjustment* across = gtk_scrollable_get_hadjustment(GTK_SCROLLABLE(viewport_));
    GtkAdjustment* down = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(viewport_));
    gtk_adjustment_configure(across, left, 0, fullWidth, 1, width, width);
    gtk_adjustment_configure(down, top, 0, fullHeight, 1, height, height);
  }
}
