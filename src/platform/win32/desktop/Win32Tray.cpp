#include "Win32Tray.h"

#include <cwchar>

#include "app/messages.h"

namespace {
constexpr UINT kIconId = 1;
constexpr int kIconResource = 101;
constexpr wchar_t kTip[] = L"在线Tamsel桌面小屋";
}  // namespace

Win32Tray::Win32Tray(HWND window, HINSTANCE instance) : window_(window), instance_(instance) {
  icon_.cbSize = sizeof(icon_);
  icon_.hWnd = window;
  icon_.uID = kIconId;
  // Version 4 shows the standard tooltip only when asked to.
  icon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
  icon_.uCallbackMessage = WM_TRAY_NOTIFY;
  wcsncpy(icon_.szTip, kTip, sizeof(icon_.szTip) / sizeof(icon_.szTip[0]) - 1);
  updateIcon();
}

Win32Tray::~Win32Tray() {
  remove();
  if (drawn_) DestroyIcon(drawn_);
}

void Win32Tray::updateIcon() {
  // The 32-pixel icon shrunk by the notification area is blurred: take the small size at this
  // window's scale from the icon's own images.
  const UINT dpi = GetDpiForWindow(window_);
  const int size = GetSystemMetricsForDpi(SM_CXSMICON, dpi ? dpi : 96);
  HICON drawn = static_cast<HICON>(
      LoadImageW(instance_, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (!drawn) drawn = LoadIconW(instance_, MAKEINTRESOURCEW(kIconResource));
  if (!drawn) return;
  icon_.hIcon = drawn;
  if (added_) Shell_NotifyIconW(NIM_MODIFY, &icon_);
  if (drawn_) DestroyIcon(drawn_);
  drawn_ = drawn;
}

bool Win32Tray::add() {
  updateIcon();
  icon_.uVersion = 0;
  Shell_NotifyIconW(NIM_ADD, &icon_);
  icon_.uVersion = NOTIFYICON_VERSION_4;
  added_ = true;
  return Shell_NotifyIconW(NIM_SETVERSION, &icon_) != FALSE;
}

void Win32Tray::remove() {
  if (!added_) return;
  Shell_NotifyIconW(NIM_DELETE, &icon_);
  added_ = false;
}

int Win32Tray::track(const std::vector<MenuItem>& items) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return 0;
  for (const MenuItem& item : items) {
    if (item.separator) {
      AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    } else {
      AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), static_cast<UINT_PTR>(item.id),
                  item.text.c_str());
    }
  }
  POINT at{};
  GetCursorPos(&at);
  // The menu closes when the user clicks elsewhere only if its owner is the foreground window;
  // afterwards the window the user was in gets the keyboard back.
  HWND before = GetForegroundWindow();
  SetForegroundWindow(window_);
  const int chosen = static_cast<int>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
  DestroyMenu(menu);
  PostMessageW(window_, WM_NULL, 0, 0);
  if (before && before != window_ && IsWindow(before) && GetForegroundWindow() == window_) SetForegroundWindow(before);
  return chosen;
}
