// The tray icon carries the program's commands, since the window has no frame and no taskbar
// button. The autostart store is read afresh whenever it matters: the program keeps no copy.
#include "app/App.h"
#include "app/TrayMenu.h"

namespace {
const WChar* const kAutostartError = DESK_W("无法保存开机启动设置。");

MenuItem command(int id, const WChar* text) {
  MenuItem item;
  item.id = id;
  item.text = text;
  return item;
}
}  // namespace

TrayMenu trayMenu(bool windowVisible, bool severalMonitors, bool autostartOn) {
  TrayMenu menu;
  menu.windowVisible = windowVisible;
  auto& items = menu.items;
  items.reserve(8);
  MenuItem separator;
  separator.separator = true;
  MenuItem autostart = command(IDM_AUTOSTART, DESK_W("开机自动打开"));
  autostart.checked = autostartOn;
  autostart.checkable = true;
  items.push_back(command(IDM_SHOW_HIDE, windowVisible ? DESK_W("藏起来 1 小时") : DESK_W("显示小屋")));
  items.push_back(command(IDM_OPEN_SITE, DESK_W("打开在线Tamsel网页")));
  items.push_back(command(IDM_RELOAD, DESK_W("重新加载")));
  if (severalMonitors) items.push_back(command(IDM_NEXT_SCREEN, DESK_W("移到下一块屏幕")));
  items.push_back(separator);
  items.push_back(autostart);
  items.push_back(separator);
  items.push_back(command(IDM_EXIT, DESK_W("退出")));
  return menu;
}

void App::addTrayIcon() {
  desktop_.addTrayIcon();
  updateTrayMenu();
}

void App::updateTrayMenu() {
  desktop_.setTrayMenu(trayMenu(desktop_.windowVisible(), desktop_.listMonitors().size() > 1, isAutostartOn()));
}

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
  // Made afresh: the autostart store may have been changed from outside the program.
  updateTrayMenu();
  desktop_.popTrayMenu();
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
  updateTrayMenu();
}

bool App::isAutostartOn() { return desktop_.autostartOn(); }
