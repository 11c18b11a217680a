// The tray icon carries the program's commands, since the window has no frame and no taskbar
// button. The autostart store is read afresh whenever it matters: the program keeps no copy.
#include <vector>

#include "app/App.h"

namespace {

const WChar* const kAutostartError = DESK_W("无法保存开机启动设置。");

std::vector<MenuItem> trayMenu(bool windowVisible, bool severalMonitors, bool autostartOn) {
  std::vector<MenuItem> items;
  items.reserve(8);
  items.push_back({IDM_SHOW_HIDE, windowVisible ? DESK_W("藏起来 1 小时") : DESK_W("显示小屋"), false, false});
  items.push_back({IDM_OPEN_SITE, DESK_W("打开在线Tamsel网页"), false, false});
  items.push_back({IDM_RELOAD, DESK_W("重新加载"), false, false});
  if (severalMonitors) items.push_back({IDM_NEXT_SCREEN, DESK_W("移到下一块屏幕"), false, false});
  items.push_back({0, WString(), false, true});
  items.push_back({IDM_AUTOSTART, DESK_W("开机自动打开"), autostartOn, false});
  items.push_back({0, WString(), false, true});
  items.push_back({IDM_EXIT, DESK_W("退出"), false, false});
  return items;
}

}  // namespace

void App::addTrayIcon() { desktop_.addTrayIcon(); }

void App::onTrayEvent(TrayEvent event) {
  switch (event) {
    case TrayEvent::Select:
    case TrayEvent::KeySelect:
      if (desktop_.windowVisible()) {
        showTrayMenu();
      } else {
        show();
      }
      break;
    case TrayEvent::RightButtonUp:
    case TrayEvent::ContextMenu:
      showTrayMenu();
      break;
    case TrayEvent::Other:
      break;
  }
}

void App::showTrayMenu() {
  // The first item's text and its action follow the visibility seen when the menu opened.
  const bool visible = desktop_.windowVisible();
  const bool severalMonitors = desktop_.listMonitors().size() > 1;
  onTrayMenuChoice(desktop_.trackPopupMenu(trayMenu(visible, severalMonitors, isAutostartOn())), visible);
}

void App::onTrayMenuChoice(int id, bool shownVisible) {
  switch (id) {
    case IDM_SHOW_HIDE:
      // What the item said: "hide" when the menu was made while the window showed.
      if (shownVisible) {
        hide();
      } else {
        show();
      }
      break;
    case IDM_OPEN_SITE:
      openUrl(serverOrigin + DESK_W("/"));
      break;
    case IDM_RELOAD:
      loadPage();
      break;
    case IDM_NEXT_SCREEN:
      moveToNextMonitor();  // does nothing with fewer than two monitors
      break;
    case IDM_AUTOSTART:
      // Read again at the click: the store may have changed while the menu was open.
      setAutostart(!isAutostartOn());
      break;
    case IDM_EXIT:
      desktop_.destroyWindow();
      break;
    default:
      break;
  }
}

void App::setAutostart(bool enable) {
  if (!desktop_.setAutostart(enable)) {
    desktop_.messageBox(kAutostartError, MessageIcon::Error, true);
  }
}

bool App::isAutostartOn() { return desktop_.autostartOn(); }
