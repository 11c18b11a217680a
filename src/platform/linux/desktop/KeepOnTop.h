#pragma once
// Without a window manager nothing keeps a window above its siblings: a window another program
// maps or raises later covers the companion and the tray icon window for good. The root window
// reports every map and restack of its children (SubstructureNotify); when a window of another
// program comes up while the kept windows are the root's own children (no manager framed them),
// they are raised again in the order they were kept, the later ones above the earlier. A kept
// window that is mapped again is raised under the ones kept after it. This process's own windows
// (menus, message boxes) and other programs' override-redirect ones (menus and tooltips, short-
// lived and meant to be on top) are left alone. Under a window manager the kept windows are
// framed, and the manager's above state does this work.
#include <cstddef>
#include <vector>

#include <gtk/gtk.h>

class KeepOnTop {
 public:
  KeepOnTop();
  ~KeepOnTop();
  KeepOnTop(const KeepOnTop&) = delete;
  KeepOnTop& operator=(const KeepOnTop&) = delete;

  // Kept until it is destroyed.
  void keep(GtkWidget* window);

 private:
  static GdkFilterReturn filter(GdkXEvent* native, GdkEvent*, gpointer self);
  static void destroyed(GtkWidget* window, gpointer self);
  void cameUp(unsigned long window, bool overrideRedirect, bool mapped);
  void raiseFrom(std::size_t first);

  std::vector<GtkWidget*> windows_;
  GdkWindow* root_ = nullptr;
};
