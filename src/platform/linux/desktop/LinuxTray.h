#pragma once
// The tray icon. Where a StatusNotifier host runs (org.kde.StatusNotifierWatcher on the session
// bus) the icon is a StatusNotifierItem through libayatana-appindicator; elsewhere it is an
// XEmbed icon (GtkStatusIcon) that any system tray can embed. The choice follows the watcher
// as it comes and goes, so the icon comes back when the tray host restarts. When neither kind
// of tray takes the icon within a few seconds, it shows as a small window of its own
// (TrayIconWindow) until a tray appears.
//
// The XEmbed icon and the icon window report clicks like the notification area does (left:
// Select, right: RightButtonUp) and App answers with trackPopupMenu, a GtkMenu at the pointer
// run in a nested loop. A StatusNotifier host shows a menu exported ahead of time and never
// reports a click, so the exported menu is rehearsed: App's own menu routine is asked for its
// items with the answer 0; when the user picks an item, App is told which, and what the
// window's state was when that menu was made, so the item does what it said. Such hosts keep
// the primary click for the menu; while the companion is hidden, the secondary (middle) click
// shows it.
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "app/Desktop.h"

class LinuxDesktop;
class TrayIconWindow;
typedef struct _AppIndicator AppIndicator;

class LinuxTray {
 public:
  explicit LinuxTray(LinuxDesktop& desktop);
  ~LinuxTray();
  LinuxTray(const LinuxTray&) = delete;
  LinuxTray& operator=(const LinuxTray&) = delete;

  void add();
  void remove();
  // Re-exports the StatusNotifier menu soon (state it shows may have changed).
  void refreshSoon();
  int track(const std::vector<MenuItem>& items);

  bool usingStatusNotifier() const { return indicator_ != nullptr; }

 private:
  void showStatusNotifier();
  void showStatusIcon();
  void hideAll();
  // The icon window after a while unless a tray has taken the icon by then.
  void standInSoon();
  void standIn(bool on);
  static gboolean standInDue(gpointer self);
  static void embeddedChanged(GObject*, GParamSpec*, gpointer self);
  void refresh();
  GtkWidget* buildMenu(const std::vector<MenuItem>& items, bool exported);
  void choose(int id);
  static void watcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self);
  static void watcherVanished(GDBusConnection*, const gchar*, gpointer self);
  static gboolean refreshIdle(gpointer self);
  static gboolean chooseIdle(gpointer self);
  static void itemActivated(GtkMenuItem* item, gpointer self);
  static void menuDeactivated(GtkMenuShell*, gpointer self);
  static void iconActivated(GObject*, gpointer self);
  static void iconPopup(GObject*, guint button, guint time, gpointer self);

  LinuxDesktop& desktop_;
  bool wanted_ = false;
  bool watcherPresent_ = false;
  guint watch_ = 0;
  guint refreshSource_ = 0;
  guint chooseSource_ = 0;
  guint standInSource_ = 0;
  AppIndicator* indicator_ = nullptr;
  GObject* statusIcon_ = nullptr;
  std::unique_ptr<TrayIconWindow> iconWindow_;
  std::string iconDir_;
  GdkPixbuf* pixbuf_ = nullptr;

  // Rehearsal of the exported menu: capture its items and the window's state they showed.
  bool capturing_ = false;
  std::vector<MenuItem> exported_;
  bool exportedVisible_ = false;
  int pendingChoice_ = 0;
  bool pendingVisible_ = false;
  // The nested popup loop.
  GMainLoop* popupLoop_ = nullptr;
  int popupChoice_ = 0;
};
