#include "SingleInstance.h"

#include "app/messages.h"

SingleInstance::~SingleInstance() {
  if (mutex_) CloseHandle(mutex_);
}

bool SingleInstance::acquire() {
  mutex_ = CreateMutexW(nullptr, FALSE, L"Local\\tamsel.desk.native");
  // Without a mutex at all nothing can tell another instance apart: this one runs.
  return !(mutex_ && GetLastError() == ERROR_ALREADY_EXISTS);
}

bool SingleInstance::requestShow() {
  HWND first = FindWindowW(L"TamselDeskNativeWindow", nullptr);
  return first && PostMessageW(first, WM_SHOW_SHELL, 0, 0);
}
