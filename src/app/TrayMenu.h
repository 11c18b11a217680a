#pragma once
// The tray menu as the core hands it to the desktop: the items with their ticks, and the state
// of the window they were made for. The desktop shows it (a popup on a click, or a menu
// exported to a tray host ahead of time) and reports the picked id back.
#include <vector>

#include "common/text.h"

inline constexpr int IDM_SHOW_HIDE = 100;
inline constexpr int IDM_RELOAD = 101;
inline constexpr int IDM_OPEN_SITE = 102;
inline constexpr int IDM_AUTOSTART = 103;
inline constexpr int IDM_EXIT = 104;
inline constexpr int IDM_NEXT_SCREEN = 105;

struct MenuItem {
  int id = 0;  // 0 with separator = true for a separator
  WString text;
  bool checked = false;
  bool separator = false;
  bool checkable = false;  // shown as a check item even while unticked
  bool operator==(const MenuItem&) const = default;
};

struct TrayMenu {
  std::vector<MenuItem> items;
  bool windowVisible = false;
  bool operator==(const TrayMenu&) const = default;
};

// The menu for a window in this state.
TrayMenu trayMenu(bool windowVisible, bool severalMonitors, bool autostartOn);
