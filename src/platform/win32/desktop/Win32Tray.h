#pragma once
// The tray icon: one notification-area icon with version-4 behaviour, whose clicks arrive at the
// main window as WM_TRAY_NOTIFY (the event in the low word of lParam), and the popup menu that
// the core hands out, shown at the cursor and answered with the chosen id.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "app/TrayMenu.h"

class Win32Tray {
 public:
  Win32Tray(HWND window, HINSTANCE instance);
  ~Win32Tray();
  Win32Tray(const Win32Tray&) = delete;
  Win32Tray& operator=(const Win32Tray&) = delete;

  // Adds the icon; called again when the taskbar was re-created. True when the notification
  // area took version-4 behaviour.
  bool add();
  void remove();
  // The small icon drawn for the window's DPI, given again to an icon already shown.
  void updateIcon();
  int track(const std::vector<MenuItem>& items);

 private:
  HWND window_;
  HINSTANCE instance_;
  NOTIFYICONDATAW icon_{};
  HICON drawn_ = nullptr;  // owned; LoadImageW at a size is not shared
  bool added_ = false;
};
