// The log-on session: its lock notifications and keeping the system awake.
#include "Win32Desktop.h"

#include <wtsapi32.h>

#include "KeepAwake.h"

namespace {
constexpr UINT kSessionRetryMs = 2000;
constexpr int kSessionRetryLimit = 150;  // five minutes
}  // namespace

void Win32Desktop::registerSessionNotifications() {
  if (!hwnd_ || sessionRegistered_) return;
  sessionRegistered_ = WTSRegisterSessionNotification(hwnd_, NOTIFY_FOR_THIS_SESSION);
  if (!sessionRegistered_ && GetLastError() == RPC_S_INVALID_BINDING && sessionRetries_ == 0) {
    SetTimer(hwnd_, kSessionRetryTimer, kSessionRetryMs, nullptr);
  }
}

void Win32Desktop::retrySessionNotifications() {
  ++sessionRetries_;
  registerSessionNotifications();
  if (sessionRegistered_ || sessionRetries_ >= kSessionRetryLimit) KillTimer(hwnd_, kSessionRetryTimer);
}

void Win32Desktop::unregisterSessionNotifications() {
  if (hwnd_) KillTimer(hwnd_, kSessionRetryTimer);
  if (hwnd_ && sessionRegistered_) WTSUnRegisterSessionNotification(hwnd_);
  sessionRegistered_ = false;
}

// The request is the calling thread's: each worker pairs its own on and off.
void Win32Desktop::keepAwake(bool on) { keepSystemAwake(on); }
