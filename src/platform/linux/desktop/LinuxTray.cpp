#include "LinuxTray.h"

#include <gdk/gdkx.h>
#include <libayatana-appindicator/app-indicator.h>

#include <algorithm>
#include <filesystem>

#include "LinuxDesktop.h"
#include "TrayIconWindow.h"
#include "app/DesktopEvents.h"
#include "common/text.h"

namespace {

constexpr const char kWatcher[] = "org.kde.StatusNotifierWatcher";
constexpr const char kTip[] = "在线Tamsel桌面小屋";
constexpr const char kIconName[] = "tamsel-desk";
// How long a tray has to take the icon before it stands in a window of its own.
constexpr guint kStandInSeconds = 3;

// The program's icon, drawn rather than loaded so it needs no image loader or installed file:
// a warm round-roofed hut on a transparent ground.
cairo_surface_t* drawIcon(int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  const double s = size / 64.0;
  cairo_scale(cr, s, s);
  cairo_set_source_rgb(cr, 0.85, 0.45, 0.22);
  cairo_move_to(cr, 6, 32);
  cairo_line_to(cr, 32, 8);
  cairo_line_to(cr, 58, 32);
  cairo_close_path(cr);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.98, 0.86, 0.62);
  cairo_rectangle(cr, 14, 30, 36, 26);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.40, 0.23, 0.14);
  cairo_rectangle(cr, 27, 38, 10, 18);
  cairo_fill(cr);
  cairo_destroy(cr);
  return surface;
}

// AppIndicator would put up its own GtkStatusIcon when the watcher goes; this class switches
// to its XEmbed icon itself, with the click rules, so the library's fallback is turned off.
void disableIndicatorFallback() {
  static bool done = false;
  if (done) return;
  done = true;
  auto* klass = static_cast<AppIndicatorClass*>(g_type_class_ref(APP_INDICATOR_TYPE));
  klass->fallback = nullptr;
  klass->unfallback = nullptr;
}

}  // namespace

LinuxTray::LinuxTray(LinuxDesktop& desktop) : desktop_(desktop) {
  cairo_surface_t* surface = drawIcon(64);
  pixbuf_ = gdk_pixbuf_get_from_surface(surface, 0, 0, 64, 64);
  const auto dir = std::filesystem::path(g_get_user_cache_dir()) / "TamselDeskNative" / "icons";
  if (g_mkdir_with_parents(dir.c_str(), 0700) == 0 &&
      cairo_surface_write_to_png(surface, (dir / (std::string(kIconName) + ".png")).c_str()) == CAIRO_STATUS_SUCCESS) {
    iconDir_ = dir.string();
  }
  cairo_surface_destroy(surface);
}

LinuxTray::~LinuxTray() {
  remove();
  iconWindow_.reset();
  if (popupLoop_) g_main_loop_quit(popupLoop_);
  if (pixbuf_) g_object_unref(pixbuf_);
}

void LinuxTray::add() {
  wanted_ = true;
  if (!watch_) {
    // The first answer (appeared or vanished) comes from the main loop and picks the kind.
    watch_ = g_bus_watch_name(G_BUS_TYPE_SESSION, kWatcher, G_BUS_NAME_WATCHER_FLAGS_NONE, watcherAppeared,
                              watcherVanished, this, nullptr);
  }
  // Until the bus answers (or when there is none), an XEmbed icon is up at once.
  if (!indicator_ && !statusIcon_) {
    if (watcherPresent_) {
      showStatusNotifier();
    } else {
      showStatusIcon();
    }
  }
}

void LinuxTray::remove() {
  wanted_ = false;
  // The icon window may be the one whose click led here; it is hidden, not destroyed.
  if (watch_) g_bus_unwatch_name(watch_);
  watch_ = 0;
  if (chooseSource_) g_source_remove(chooseSource_);
  chooseSource_ = 0;
  hideAll();
}

void LinuxTray::hideAll() {
  standIn(false);
  if (indicator_) {
    if (hostClicks_) hostClicks_->setActive(false);
    app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(indicator_);
    indicator_ = nullptr;
    exported_ = TrayMenu();
  }
  if (statusIcon_) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_status_icon_set_visible(GTK_STATUS_ICON(statusIcon_), FALSE);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_object_unref(statusIcon_);
    statusIcon_ = nullptr;
  }
}

void LinuxTray::watcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  tray->watcherPresent_ = true;
  if (!tray->wanted_) return;
  tray->hideAll();
  tray->showStatusNotifier();
}

void LinuxTray::watcherVanished(GDBusConnection*, const gchar*, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  tray->watcherPresent_ = false;
  if (!tray->wanted_ || tray->statusIcon_) return;
  tray->hideAll();
  tray->showStatusIcon();
}

void LinuxTray::showStatusNotifier() {
  disableIndicatorFallback();
  indicator_ = iconDir_.empty()
                   ? app_indicator_new("tamsel-desk", "user-home", APP_INDICATOR_CATEGORY_APPLICATION_STATUS)
                   : app_indicator_new_with_path("tamsel-desk", kIconName, APP_INDICATOR_CATEGORY_APPLICATION_STATUS,
                                                 iconDir_.c_str());
  app_indicator_set_title(indicator_, kTip);
  app_indicator_set_status(indicator_, APP_INDICATOR_STATUS_ACTIVE);
  if (!hostClicks_) {
    hostClicks_ = std::make_unique<StatusNotifierClicks>(
        [this](StatusNotifierClicks::Click click, int x, int y) { hostClicked(click, x, y); });
  }
  hostClicks_->setActive(true);
  exportMenu();
}

void LinuxTray::hostClicked(StatusNotifierClicks::Click click, int x, int y) {
  DesktopEvents* events = desktop_.events();
  if (!events) return;
  switch (click) {
    case StatusNotifierClicks::Click::Primary:
      events->onTrayEvent(TrayEvent::Select);
      break;
    case StatusNotifierClicks::Click::Secondary: {
      // As a second start asks it.
      PayloadPtr none;
      desktop_.post(WM_SHOW_SHELL, 0, none);
      break;
    }
    case StatusNotifierClicks::Click::Context:
      popAtPoint_ = true;
      popX_ = x;
      popY_ = y;
      events->onTrayEvent(TrayEvent::ContextMenu);
      popAtPoint_ = false;
      break;
  }
}

void LinuxTray::showStatusIcon() {
  // A layer surface's display has no XEmbed tray: without a StatusNotifier host the icon window
  // stands in as usual.
  noXEmbed_ = !GDK_IS_X11_DISPLAY(gdk_display_get_default());
  if (noXEmbed_) return standInSoon();
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkStatusIcon* icon = gtk_status_icon_new_from_pixbuf(pixbuf_);
  gtk_status_icon_set_tooltip_text(icon, kTip);
  gtk_status_icon_set_title(icon, kTip);
  gtk_status_icon_set_visible(icon, TRUE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  statusIcon_ = G_OBJECT(icon);
  g_signal_connect(statusIcon_, "activate", G_CALLBACK(iconActivated), this);
  g_signal_connect(statusIcon_, "popup-menu", G_CALLBACK(iconPopup), this);
  g_signal_connect(statusIcon_, "notify::embedded", G_CALLBACK(embeddedChanged), this);
  standInSoon();
}

void LinuxTray::embeddedChanged(GObject*, GParamSpec*, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  const bool embedded = tray->statusIcon_ && gtk_status_icon_is_embedded(GTK_STATUS_ICON(tray->statusIcon_));
  G_GNUC_END_IGNORE_DEPRECATIONS
  // Back in a tray that appeared, or out of one that went away.
  if (embedded) {
    tray->standIn(false);
  } else {
    tray->standInSoon();
  }
}

void LinuxTray::standInSoon() {
  if (!standInSource_) standInSource_ = g_timeout_add_seconds(kStandInSeconds, standInDue, this);
}

gboolean LinuxTray::standInDue(gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  tray->standInSource_ = 0;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  const bool embedded = tray->statusIcon_ && gtk_status_icon_is_embedded(GTK_STATUS_ICON(tray->statusIcon_));
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (tray->wanted_ && (tray->statusIcon_ || tray->noXEmbed_) && !embedded) tray->standIn(true);
  return G_SOURCE_REMOVE;
}

void LinuxTray::standIn(bool on) {
  if (!on) {
    if (standInSource_) g_source_remove(standInSource_);
    standInSource_ = 0;
    if (iconWindow_) iconWindow_->hide();
    return;
  }
  if (!iconWindow_) {
    iconWindow_ = std::make_unique<TrayIconWindow>(pixbuf_, kTip, desktop_.shellWindowType(), [this](TrayEvent event) {
      if (DesktopEvents* events = desktop_.events()) events->onTrayEvent(event);
    });
    desktop_.keepOnTop(iconWindow_->widget());
  }
  iconWindow_->show();
}

void LinuxTray::iconActivated(GObject*, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  if (DesktopEvents* events = tray->desktop_.events()) events->onTrayEvent(TrayEvent::Select);
}

void LinuxTray::iconPopup(GObject*, guint, guint, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  if (DesktopEvents* events = tray->desktop_.events()) events->onTrayEvent(TrayEvent::RightButtonUp);
}

void LinuxTray::setMenu(const TrayMenu& menu) {
  menu_ = menu;
  exportMenu();
}

void LinuxTray::exportMenu() {
  // A new menu only when it says something new: a host may be showing the old one.
  if (!indicator_ || menu_ == exported_) return;
  app_indicator_set_menu(indicator_, GTK_MENU(buildMenu(menu_.items, true)));
  exported_ = menu_;
}

GtkWidget* LinuxTray::buildMenu(const std::vector<MenuItem>& items, bool exported) {
  GtkWidget* menu = gtk_menu_new();
  for (const MenuItem& item : items) {
    GtkWidget* widget = nullptr;
    if (item.separator) {
      widget = gtk_separator_menu_item_new();
    } else if (item.checkable || item.checked) {
      widget = gtk_check_menu_item_new_with_label(toNarrow(item.text).c_str());
      gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
    } else {
      widget = gtk_menu_item_new_with_label(toNarrow(item.text).c_str());
    }
    if (!item.separator) {
      g_object_set_data(G_OBJECT(widget), "desk-id", GINT_TO_POINTER(item.id));
      g_object_set_data(G_OBJECT(widget), "desk-exported", GINT_TO_POINTER(exported ? 1 : 0));
      g_signal_connect(widget, "activate", G_CALLBACK(itemActivated), this);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
  }
  gtk_widget_show_all(menu);
  return menu;
}

void LinuxTray::itemActivated(GtkMenuItem* item, gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  const int id = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "desk-id"));
  // Ticks are set before the handler is connected, so only the user's picks arrive here.
  if (GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "desk-exported"))) {
    tray->choose(id);
  } else {
    tray->popupChoice_ = id;
  }
}

void LinuxTray::choose(int id) {
  // The clicked item belongs to the menu exported last; it said what that state called for.
  pendingChoice_ = id;
  pendingVisible_ = exported_.windowVisible;
  if (!chooseSource_) chooseSource_ = g_idle_add(chooseIdle, this);
}

gboolean LinuxTray::chooseIdle(gpointer self) {
  auto* tray = static_cast<LinuxTray*>(self);
  tray->chooseSource_ = 0;
  tray->report(tray->pendingChoice_, tray->pendingVisible_);
  return G_SOURCE_REMOVE;
}

void LinuxTray::report(int id, bool shownVisible) {
  if (DesktopEvents* events = desktop_.events()) events->onTrayMenuChoice(id, shownVisible);
}

void LinuxTray::menuDeactivated(GtkMenuShell*, gpointer self) {
  // An item's activate comes after the shell's deactivate, so the loop ends one turn later.
  auto* tray = static_cast<LinuxTray*>(self);
  g_idle_add(
      [](gpointer data) -> gboolean {
        auto* loop = static_cast<GMainLoop*>(data);
        g_main_loop_quit(loop);
        g_main_loop_unref(loop);
        return G_SOURCE_REMOVE;
      },
      g_main_loop_ref(tray->popupLoop_));
}

void LinuxTray::pop() {
  if (popupLoop_) return;  // one menu at a time
  // The menu may be handed again while this one is open; the pick is this one's.
  const TrayMenu shown = menu_;
  GtkWidget* menu = buildMenu(shown.items, false);
  popupChoice_ = 0;
  popupLoop_ = g_main_loop_new(nullptr, FALSE);
  g_signal_connect(menu, "deactivate", G_CALLBACK(menuDeactivated), this);
  // A click on an icon of the shell's own is the event to pop up from; a click a host reported
  // over the bus came with no event, and the menu goes to the point it named or to the pointer.
  GdkEvent* click = gtk_get_current_event();
  if (click && !popAtPoint_) {
    gtk_menu_popup_at_pointer(GTK_MENU(menu), click);
  } else {
    const ScreenPoint at = popAtPoint_ ? ScreenPoint{popX_, popY_} : desktop_.cursorPos();
    const int scale = std::max(1, static_cast<int>(desktop_.windowScale()));
    const GdkRectangle point{at.x / scale, at.y / scale, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(menu), gdk_get_default_root_window(), &point, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
  }
  if (click) gdk_event_free(click);
  if (gtk_widget_get_visible(menu)) g_main_loop_run(popupLoop_);
  g_main_loop_unref(popupLoop_);
  popupLoop_ = nullptr;
  gtk_widget_destroy(menu);
  if (popupChoice_ != 0) report(popupChoice_, shown.windowVisible);
}
