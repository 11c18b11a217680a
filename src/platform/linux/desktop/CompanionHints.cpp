#include "CompanionHints.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

#include <vector>

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

void forgetUserTime(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow)) gdk_x11_window_set_user_time(gdkWindow, 0);
}

void declareNoInput(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow)) return;
  Display* dpy = GDK_WINDOW_XDISPLAY(gdkWindow);
  const Window xid = GDK_WINDOW_XID(gdkWindow);
  const Atom takeFocus = gdk_x11_get_xatom_by_name_for_display(gdk_window_get_display(gdkWindow), "WM_TAKE_FOCUS");
  Atom* protocols = nullptr;
  int count = 0;
  if (!XGetWMProtocols(dpy, xid, &protocols, &count)) return;
  // The rest of GTK's list stays: closing, the manager's ping, synchronised resizing.
  std::vector<Atom> kept;
  for (int i = 0; i < count; ++i) {
    if (protocols[i] != takeFocus) kept.push_back(protocols[i]);
  }
  XFree(protocols);
  XSetWMProtocols(dpy, xid, kept.data(), static_cast<int>(kept.size()));
}
