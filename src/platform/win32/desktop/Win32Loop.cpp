// The main loop: the thread's message queue. A posted message carries the number under which
// its payload waits in the post box; a failed post takes the payload back out at once, so it
// stays with its sender as the seam promises.
//
// The pointer tick runs when the pointer gives a reason, not on a clock: raw mouse input
// (WM_INPUT, received in the background too) starts it, and it stops once the pointer has
// rested with no button held for a few ticks. Anything else that can change what the tick
// decides (a new shape from the page, a moved or newly shown window) wakes it the same way.
// Where raw input cannot be had, it runs all the time.
#include "Win32Desktop.h"
#include "app/Timers.h"
#include "platform/win32/common/Clock.h"

namespace {
constexpr int kQuietTicks = 3;
}  // namespace

std::uint64_t Win32Desktop::tickMs() { return systemTickMs(); }

void Win32Desktop::startTimer(int id, std::uint32_t intervalMs) {
  if (!hwnd_) return;
  if (id == kTimerPointer) {
    pointerIntervalMs_ = intervalMs;
    pointerWatched_ = true;
    if (!rawMouse_) {
      RAWINPUTDEVICE mouse{};
      mouse.usUsagePage = 0x01;  // generic desktop controls
      mouse.usUsage = 0x02;      // mouse
      mouse.dwFlags = RIDEV_INPUTSINK;
      mouse.hwndTarget = hwnd_;
      rawMouse_ = RegisterRawInputDevices(&mouse, 1, sizeof mouse) != FALSE;
    }
    pointerTicking_ = false;
    wakePointerTick();
    return;
  }
  SetTimer(hwnd_, static_cast<UINT_PTR>(id), intervalMs, nullptr);
}

void Win32Desktop::killTimer(int id) {
  if (id == kTimerPointer) {
    pointerWatched_ = false;
    pointerTicking_ = false;
  }
  if (hwnd_) KillTimer(hwnd_, static_cast<UINT_PTR>(id));
}

void Win32Desktop::wakePointerTick() {
  if (!hwnd_ || !pointerWatched_) return;
  quietTicks_ = 0;
  if (pointerTicking_) return;
  pointerTicking_ = true;
  SetTimer(hwnd_, kTimerPointer, pointerIntervalMs_, nullptr);
}

void Win32Desktop::pointerTicked() {
  if (!rawMouse_ || !pointerTicking_) return;
  POINT at{};
  GetCursorPos(&at);
  const bool moved = at.x != lastTickAt_.x || at.y != lastTickAt_.y;
  lastTickAt_ = at;
  if (moved || mouseButtonsDown()) {
    quietTicks_ = 0;
  } else if (++quietTicks_ >= kQuietTicks) {
    KillTimer(hwnd_, kTimerPointer);
    pointerTicking_ = false;
  }
}

bool Win32Desktop::post(unsigned message, std::uintptr_t wParam, PayloadPtr& payload) {
  HWND target = postTarget_;
  if (!accepting_ || !target) return false;
  const std::uintptr_t number = postBox_.file(std::move(payload));
  if (PostMessageW(target, message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(number))) return true;
  payload = postBox_.take(number);
  return false;
}

int Win32Desktop::runLoop() {
  // A quit asked for before the loop runs ends it at once, like a posted quit message.
  int code = quitCode_;
  if (!quitRequested_) {
    MSG message{};
    BOOL got = 0;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    code = got == 0 ? static_cast<int>(message.wParam) : quitCode_;
  }
  // Nobody is left to take a message: a later post fails and its sender keeps the payload.
  accepting_ = false;
  postBox_.clear();
  return code;
}

void Win32Desktop::quit(int code) {
  quitRequested_ = true;
  quitCode_ = code;
  PostQuitMessage(code);
}
