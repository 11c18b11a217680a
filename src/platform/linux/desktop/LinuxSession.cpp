// The tray icon, session lock notifications and the sleep inhibitor, each in its own object.
#include "LinuxDesktop.h"
#include "LinuxTray.h"
#include "SessionWatch.h"
#include "app/App.h"

void LinuxDesktop::addTrayIcon() {
  if (!ensureGtk()) return;
  if (!tray_) tray_ = std::make_unique<LinuxTray>(*this);
  tray_->add();
}

void LinuxDesktop::removeTrayIcon() {
  if (tray_) tray_->remove();
}

int LinuxDesktop::trackPopupMenu(const std::vector<MenuItem>& items) {
  if (!tray_) tray_ = std::make_unique<LinuxTray>(*this);
  return tray_->track(items);
}

void LinuxDesktop::keepAwake(bool on) {
  inhibitor_->change(on);
}

void LinuxDesktop::registerSessionNotifications() {
  if (session_) return;
  session_ = std::make_unique<SessionWatch>([this](bool locked) {
    if (app_) app_->onSessionChange(locked);
  });
}

void LinuxDesktop::unregisterSessionNotifications() { session_.reset(); }
