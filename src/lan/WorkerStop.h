#pragma once
// Lets the owner of a LAN worker end it from another thread (at exit): stop() wakes a wait for
// a connection or a pause, and shuts down the attached socket. The worker then ends as it
// would when its peer went away.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "lan/LanChannel.h"

class WorkerStop {
 public:
  void stop() {
    std::lock_guard guard(lock_);
    stopped_ = true;
    if (socket_) socket_->shutdownBoth();
    wake_.notify_all();
  }
  bool stopped() const { return stopped_.load(); }
  const std::atomic<bool>* flag() const { return &stopped_; }
  // False when already stopped.
  bool attach(const LanChannel* socket) {
    std::lock_guard guard(lock_);
    socket_ = socket;
    return !stopped_;
  }
  void detach() { attach(nullptr); }
  // Sleeps up to ms; false when stopped (at once, or meanwhile).
  bool sleepFor(std::uint64_t ms) {
    std::unique_lock guard(lock_);
    return !wake_.wait_for(guard, std::chrono::milliseconds(ms), [&] { return stopped_.load(); });
  }

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  const LanChannel* socket_ = nullptr;
  std::atomic<bool> stopped_{false};
};
