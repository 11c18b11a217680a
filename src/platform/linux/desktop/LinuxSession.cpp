// The log-in session: its lock notifications and the sleep inhibitor, each in its own object.
#include "LinuxDesktop.h"
#include "SessionWatch.h"

void LinuxDesktop::keepAwake(bool on) {
  inhibitor_->change(on);
}

void LinuxDesktop::registerSessionNotifications() {
  if (session_) return;
  session_ = std::make_unique<SessionWatch>([this](bool locked) {
    if (events_) events_->onSessionChange(locked);
  });
}

void LinuxDesktop::unregisterSessionNotifications() { session_.reset(); }
