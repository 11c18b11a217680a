// The tray icon and keeping the system awake.
#include "Win32Desktop.h"
#include "Win32Tray.h"
#include "platform/win32/lan/KeepAwake.h"

void Win32Desktop::addTrayIcon() {
  if (!hwnd_) return;
  if (!tray_) tray_ = std::make_unique<Win32Tray>(hwnd_, instance_);
  tray_->add();
}

void Win32Desktop::removeTrayIcon() {
  if (tray_) tray_->remove();
}

int Win32Desktop::trackPopupMenu(const std::vector<MenuItem>& items) {
  if (!hwnd_) return 0;
  if (!tray_) tray_ = std::make_unique<Win32Tray>(hwnd_, instance_);
  return tray_->track(items);
}

// The request is the calling thread's: each worker pairs its own on and off.
void Win32Desktop::keepAwake(bool on) { keepSystemAwake(on); }
