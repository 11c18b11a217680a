// The main loop: the thread's message queue. A posted message carries the number under which
// its payload waits in the post box; a failed post takes the payload back out at once, so it
// stays with its sender as the seam promises.
#include "Win32Desktop.h"
#include "platform/win32/common/Clock.h"

std::uint64_t Win32Desktop::tickMs() { return systemTickMs(); }

void Win32Desktop::startTimer(int id, std::uint32_t intervalMs) {
  if (hwnd_) SetTimer(hwnd_, static_cast<UINT_PTR>(id), intervalMs, nullptr);
}

void Win32Desktop::killTimer(int id) {
  if (hwnd_) KillTimer(hwnd_, static_cast<UINT_PTR>(id));
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
