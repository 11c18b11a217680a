// The log-on session: its lock notifications and keeping the system awake.
#include "Win32Desktop.h"

#include <wtsapi32.h>

#include "KeepAwake.h"

void Win32Desktop::registerSessionNotifications() {
  if (hwnd_ && !sessionRegistered_) sessionRegistered_ = WTSRegisterSessionNotification(hwnd_, NOTIFY_FOR_THIS_SESSION);
}

void Win32Desktop::unregisterSessionNotifications() {
  if (hwnd_ && sessionRegistered_) WTSUnRegisterSessionNotification(hwnd_);
  sessionRegistered_ = false;
}

// The request is the calling thread's: each worker pairs its own on and off.
void Win32Desktop::keepAwake(bool on) { keepSystemAwake(on); }
