#pragma once
// The tray icon. Where a StatusNotifier host runs (org.kde.StatusNotifierWatcher on the session
// bus) the icon is a StatusNotifierItem through libayatana-appindicator; elsewhere it is an
// XEmbed icon (GtkStatusIcon) that any system tray can embed. The choice follows the watcher
// as it comes and goes, so the icon comes back when the tray host restarts. When neither kind
// of tray takes the icon within a few seconds, it shows as a small window of its own
// (TrayIconWindow) until a tray appears.
//
// The core hands over its menu whenever what it shows changes. The XEmbed icon and the icon
// window report clicks like the notification area does (left: Select, right: RightButtonUp) and
// the core answers with pop(), a GtkMenu at the pointer run in a nested loop. A StatusNotifier
// host either shows the menu exported ahead of time, and a pick in it is reported with the
// window's state that menu was made for, so the item does what it said; or it draws no menu and
// calls the item's methods (StatusNotifierClicks): Activate is a left click (hidden: show;
// visible: the menu at the pointer), SecondaryActivate (a middle click) shows the companion and
// ContextMenu pops the menu at the point the host names.
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "StatusNotifierClicks.h"
#include "app/TrayMenu.h"

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
  void setMenu(const TrayMenu& menu);
  // The menu at the pointer; a pick goes to the desktop's events.
  void pop();

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
  // Exports the menu to the StatusNotifier host when it says something new.
  void exportMenu();
  GtkWidget* buildMenu(const std::vector<MenuItem>& items, bool exported);
  void choose(int id);
  void report(int id, bool shownVisible);
  static void watcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self);
  static void watcherVanished(GDBusConnection*, const gchar*, gpointer self);
  static gboolean chooseIdle(gpointer self);
  static void itemActivated(GtkMenuItem* item, gpointer self);
  static void menuDeactivated(GtkMenuShell*, gpointer self);
  static void iconActivated(GObject*, gpointer self);
  static void iconPopup(GObject*, guint button, guint time, gpointer self);
  void hostClicked(StatusNotifierClicks::Click click, int x, int y);

  LinuxDesktop& desktop_;
  bool wanted_ = false;
  bool watcherPresent_ = false;
  guint watch_ = 0;
  guint chooseSource_ = 0;
  guint standInSource_ = 0;
  AppIndicator* indicator_ = nullptr;
  std::unique_ptr<StatusNotifierClicks> hostClicks_;
  GObject* statusIcon_ = nullptr;
  bool noXEmbed_ = false;  // a Wayland display: no XEmbed tray to wait for
  std::unique_ptr<TrayIconWindow> iconWindow_;
  std::string iconDir_;
  GdkPixbuf* pixbuf_ = nullptr;

  TrayMenu menu_;      // as the core handed it last
  TrayMenu exported_;  // what the StatusNotifier host shows
  int pendingChoice_ = 0;
  bool pendingVisible_ = false;
  // The nested popup loop.
  GMainLoop* popupLoop_ = nullptr;
  int popupChoice_ = 0;
  // Where the next menu pops up instead of at the pointer (a host's ContextMenu), root pixels.
  bool popAtPoint_ = false;
  int popX_ = 0;
  int popY_ = 0;
};
