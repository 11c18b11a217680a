// The tray icon and keeping the system awake, each in its own small piece.
#include "Win32Desktop.h"
#include "Win32Tray.h"

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

void Win32Desktop::keepAwake(bool on) {
  // Counted across threads: the system is asked to stay awake at the first start and let go at
  // the last end.
  const int after = on ? ++awake_ : --awake_;
  if (on && after == 1) SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (!on && after == 0) SetThreadExecutionState(ES_CONTINUOUS);
}
