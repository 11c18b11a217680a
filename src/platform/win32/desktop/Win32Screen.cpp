// Monitors in EnumDisplayMonitors' order, named by their display device ("\\.\DISPLAY1"), and
// the cursor, buttons and idle time as the system reports them, all in physical pixels.
#include "Win32Desktop.h"

namespace {

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  reinterpret_cast<std::vector<MonitorHandle>*>(list)->push_back(reinterpret_cast<MonitorHandle>(monitor));
  return TRUE;
}

std::optional<MONITORINFOEXW> monitorInfo(MonitorHandle handle) {
  MONITORINFOEXW info{};
  info.cbSize = sizeof(info);
  if (handle == 0 || !GetMonitorInfoW(reinterpret_cast<HMONITOR>(handle), &info)) return std::nullopt;
  return info;
}

}  // namespace

std::vector<MonitorHandle> Win32Desktop::listMonitors() {
  std::vector<MonitorHandle> list;
  EnumDisplayMonitors(nullptr, nullptr, collectMonitor, reinterpret_cast<LPARAM>(&list));
  return list;
}

WString Win32Desktop::monitorDeviceName(MonitorHandle monitor) {
  const auto info = monitorInfo(monitor);
  return info ? WString(info->szDevice) : WString();
}

std::optional<ScreenRect> Win32Desktop::monitorWorkArea(MonitorHandle monitor) {
  const auto info = monitorInfo(monitor);
  if (!info) return std::nullopt;
  const RECT& area = info->rcWork;
  return ScreenRect{area.left, area.top, area.right, area.bottom};
}

MonitorHandle Win32Desktop::monitorNearest(ScreenPoint p) {
  return reinterpret_cast<MonitorHandle>(MonitorFromPoint(POINT{p.x, p.y}, MONITOR_DEFAULTTONEAREST));
}

MonitorHandle Win32Desktop::primaryMonitor() {
  return reinterpret_cast<MonitorHandle>(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY));
}

ScreenPoint Win32Desktop::cursorPos() {
  POINT point{};
  GetCursorPos(&point);
  return {point.x, point.y};
}

bool Win32Desktop::mouseButtonsDown() {
  return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0 || (GetAsyncKeyState(VK_RBUTTON) & 0x8000) != 0;
}

std::uint32_t Win32Desktop::millisSinceLastInput() {
  LASTINPUTINFO last{};
  last.cbSize = sizeof(last);
  if (!GetLastInputInfo(&last)) return 0;
  // Both are 32-bit tick counts: the difference is right across their wrap.
  return static_cast<std::uint32_t>(GetTickCount() - last.dwTime);
}
