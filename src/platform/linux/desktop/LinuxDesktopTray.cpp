// The desktop's tray: the icon and the menu the core hands out, kept by LinuxTray.
#include "LinuxDesktop.h"
#include "LinuxTray.h"

void LinuxDesktop::addTrayIcon() {
  if (!ensureGtk()) return;
  if (!tray_) tray_ = std::make_unique<LinuxTray>(*this);
  tray_->add();
}

void LinuxDesktop::removeTrayIcon() {
  if (tray_) tray_->remove();
}

void LinuxDesktop::setTrayMenu(const TrayMenu& menu) {
  if (!tray_) tray_ = std::make_unique<LinuxTray>(*this);
  tray_->setMenu(menu);
}

void LinuxDesktop::popTrayMenu() {
  if (tray_) tray_->pop();
}
