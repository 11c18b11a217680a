#include "SingleInstance.h"

#include "app/messages.h"

SingleInstance::~SingleInstance() {
  if (mutex_) CloseHandle(mutex_);
}

bool SingleInstance::acquire() {
  mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\tamsel.desk.native");
  const DWORD error = GetLastError();
  // A shell at a higher integrity level holds a mutex this one may not open: another runs.
  // Without a mutex for any other reason nothing can tell another instance apart: this one runs.
  if (!mutex_) return error != ERROR_ACCESS_DENIED;
  return error != ERROR_ALREADY_EXISTS;
}

bool SingleInstance::requestShow() {
  HWND first = FindWindowW(L"TamselDeskNativeWindow", nullptr);
  return first && PostMessageW(first, WM_SHOW_SHELL, 0, 0);
}
