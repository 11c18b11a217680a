// The desktop's tray: the icon and the menu the core hands out, kept by Win32Tray.
#include "Win32Desktop.h"
#include "Win32Tray.h"

void Win32Desktop::addTrayIcon() {
  if (!hwnd_) return;
  if (!tray_) tray_ = std::make_unique<Win32Tray>(hwnd_, instance_);
  trayClicks_.setVersion4(tray_->add());
}

void Win32Desktop::removeTrayIcon() {
  if (tray_) tray_->remove();
}

void Win32Desktop::setTrayMenu(const TrayMenu& menu) { trayMenu_ = menu; }

void Win32Desktop::popTrayMenu() {
  if (!hwnd_) return;
  if (!tray_) tray_ = std::make_unique<Win32Tray>(hwnd_, instance_);
  // The menu may be handed again while this one is open; the pick is this one's.
  const TrayMenu shown = trayMenu_;
  menuOpen_ = true;
  const int chosen = tray_->track(shown.items);
  menuOpen_ = false;
  if (chosen != 0 && events_) events_->onTrayMenuChoice(chosen, shown.windowVisible);
}
