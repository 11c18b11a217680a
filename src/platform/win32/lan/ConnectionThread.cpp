// Win32 threads behind the portable ConnectionThread.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "lan/ConnectionThread.h"

#include <windows.h>

#include <memory>

namespace {

DWORD WINAPI runConnection(LPVOID work) {
  std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(work));
  try {
    (*run)();
  } catch (...) {
    // The connection ends; the server goes on.
  }
  return 0;
}

}  // namespace

bool ConnectionThread::start(std::function<void()> run) {
  join();
  auto work = std::make_unique<std::function<void()>>(std::move(run));
  // The size is what the thread reserves; it commits only what it touches.
  HANDLE thread = ::CreateThread(nullptr, kLanConnectionStack, runConnection, work.get(),
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  work.release();  // the thread owns it now
  handle_ = reinterpret_cast<std::uintptr_t>(thread);
  return true;
}

void ConnectionThread::join() {
  if (handle_ == 0) return;
  HANDLE thread = reinterpret_cast<HANDLE>(handle_);
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  handle_ = 0;
}
