#pragma once
// What a worker thread holds instead of the App: the App can go away while a download or an
// update check is still blocked in the network, and the thread must then never touch it.
// The App severs the link first thing in its destructor; every use of the App from a worker
// happens inside withApp, under the link's lock, so it either runs on a live App or not at all.
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/messages.h"

class App;

class WorkerLink {
 public:
  explicit WorkerLink(App& app) : app_(&app) {}
  WorkerLink(const WorkerLink&) = delete;
  WorkerLink& operator=(const WorkerLink&) = delete;

  // Runs fn(App&) while the App exists; false when it is gone. Keep fn short: it holds the
  // App's destructor back.
  template <class Fn>
  bool withApp(Fn&& fn) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!app_) return false;
    fn(*app_);
    return true;
  }

  // App::postPayload on a live App; a payload that is not taken is freed here.
  bool post(unsigned message, std::uintptr_t wParam, PayloadPtr payload);

  void sever() {
    std::lock_guard<std::mutex> guard(lock_);
    app_ = nullptr;
  }

 private:
  std::mutex lock_;
  App* app_;
};
