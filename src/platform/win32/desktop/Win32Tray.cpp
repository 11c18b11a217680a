#include "Win32Tray.h"

#include <cwchar>

#include "app/messages.h"

namespace {
constexpr UINT kIconId = 1;
constexpr int kIconResource = 101;
constexpr wchar_t kTip[] = L"在线Tamsel桌面小屋";
}  // namespace

Win32Tray::Win32Tray(HWND window, HINSTANCE instance) : window_(window) {
  icon_.cbSize = sizeof(icon_);
  icon_.hWnd = window;
  icon_.uID = kIconId;
  icon_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  icon_.uCallbackMessage = WM_TRAY_NOTIFY;
  icon_.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  wcsncpy(icon_.szTip, kTip, sizeof(icon_.szTip) / sizeof(icon_.szTip[0]) - 1);
}

Win32Tray::~Win32Tray() { remove(); }

void Win32Tray::add() {
  icon_.uVersion = 0;
  Shell_NotifyIconW(NIM_ADD, &icon_);
  icon_.uVersion = NOTIFYICON_VERSION_4;
  Shell_NotifyIconW(NIM_SETVERSION, &icon_);
  added_ = true;
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
  // The menu closes when the user clicks elsewhere only if its owner is the foreground window.
  SetForegroundWindow(window_);
  const int chosen = static_cast<int>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr));
  DestroyMenu(menu);
  PostMessageW(window_, WM_NULL, 0, 0);
  return chosen;
}
