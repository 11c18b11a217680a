#include "KeepOnTop.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <algorithm>

namespace {

Window xidOf(GtkWidget* widget) {
  GdkWindow* window = gtk_widget_get_window(widget);
  return window && GDK_IS_X11_WINDOW(window) ? GDK_WINDOW_XID(window) : 0;
}

// A window no manager has framed is a child of the root itself.
bool unmanaged(Display* dpy, Window window) {
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(dpy, window, &root, &parent, &children, &count)) return false;
  if (children) XFree(children);
  return parent == root;
}

}  // namespace

KeepOnTop::KeepOnTop() {
  GdkWindow* root = gdk_get_default_root_window();
  if (!root || !GDK_IS_X11_WINDOW(root)) return;
  root_ = root;
  gdk_window_set_events(root_, static_cast<GdkEventMask>(gdk_window_get_events(root_) | GDK_SUBSTRUCTURE_MASK));
  gdk_window_add_filter(root_, filter, this);
}

KeepOnTop::~KeepOnTop() {
  if (root_) gdk_window_remove_filter(root_, filter, this);
  for (GtkWidget* window : windows_) g_signal_handlers_disconnect_by_data(window, this);
}

void KeepOnTop::keep(GtkWidget* window) {
  if (!root_ || std::find(windows_.begin(), windows_.end(), window) != windows_.end()) return;
  windows_.push_back(window);
  g_signal_connect(window, "destroy", G_CALLBACK(destroyed), this);
}

void KeepOnTop::destroyed(GtkWidget* window, gpointer self) {
  auto& windows = static_cast<KeepOnTop*>(self)->windows_;
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

GdkFilterReturn KeepOnTop::filter(GdkXEvent* native, GdkEvent*, gpointer self) {
  const auto* event = static_cast<const XEvent*>(native);
  auto* keeper = static_cast<KeepOnTop*>(self);
  if (event->type == MapNotify && event->xmap.event != event->xmap.window) {
    keeper->cameUp(event->xmap.window, event->xmap.override_redirect, true);
  } else if (event->type == ConfigureNotify && event->xconfigure.event != event->xconfigure.window) {
    keeper->cameUp(event->xconfigure.window, event->xconfigure.override_redirect, false);
  }
  return GDK_FILTER_CONTINUE;
}

void KeepOnTop::cameUp(unsigned long window, bool overrideRedirect, bool mapped) {
  for (std::size_t i = 0; i < windows_.size(); ++i) {
    if (xidOf(windows_[i]) != window) continue;
    // Raising a kept window reports it here too; only its mapping can cover the later ones.
    if (mapped) raiseFrom(i + 1);
    return;
  }
  if (overrideRedirect || gdk_x11_window_lookup_for_display(gdk_window_get_display(root_), window)) return;
  raiseFrom(0);
}

void KeepOnTop::raiseFrom(std::size_t first) {
  Display* dpy = GDK_WINDOW_XDISPLAY(root_);
  for (std::size_t i = first; i < windows_.size(); ++i) {
    const Window window = xidOf(windows_[i]);
    if (window && gtk_widget_get_mapped(windows_[i]) && unmanaged(dpy, window)) XRaiseWindow(dpy, window);
  }
}
