#pragma once
// One shell per log-on session: the first start creates the session-local mutex
// "Local\tamsel.desk.native"; a second start finds it already there and posts WM_SHOW_SHELL to
// the first one's main window, found by its class.
#include <windows.h>

class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process is the first. The mutex is held either way until this object goes.
  bool acquire();
  // Asks the first process to show itself; false when its window could not be found.
  static bool requestShow();

 private:
  HANDLE mutex_ = nullptr;
};
