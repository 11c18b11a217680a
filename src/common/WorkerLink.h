#pragma once
// What a worker thread holds instead of its owner: the owner can go away while a download, an
// update check or a LAN transfer is still blocked in the network, and the thread must then
// never touch it. The owner severs the link first thing in its destructor; every event from a
// worker goes through with(), under the link's lock, so it reaches a live owner or nobody.
#include <mutex>

#include "common/WorkerEvents.h"

class WorkerLink {
 public:
  explicit WorkerLink(WorkerEvents& events) : events_(&events) {}
  WorkerLink(const WorkerLink&) = delete;
  WorkerLink& operator=(const WorkerLink&) = delete;

  // Runs fn(WorkerEvents&) while the owner exists; false when it is gone. Keep fn short: it
  // holds the owner's destructor back.
  template <class Fn>
  bool with(Fn&& fn) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!events_) return false;
    fn(*events_);
    return true;
  }
  void report(const PageEvent& event) {
    with([&](WorkerEvents& events) { events.report(event); });
  }

  void sever() {
    std::lock_guard<std::mutex> guard(lock_);
    events_ = nullptr;
  }

 private:
  std::mutex lock_;
  WorkerEvents* events_;
};
