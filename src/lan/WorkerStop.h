#pragma once
// Lets the owner of a LAN worker end it from another thread (at exit): stop() wakes a wait for
// a connection or a pause, and shuts down the attached socket. The worker then ends as it
// would when its peer went away.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class LanChannel;

class WorkerStop {
 public:
  void stop();
  bool stopped() const { return stopped_.load(); }
  const std::atomic<bool>* flag() const { return &stopped_; }
  bool attach(const LanChannel* socket);  // false when already stopped
  void detach();
  // Sleeps up to ms; false when stopped (at once, or meanwhile).
  bool sleepFor(std::uint64_t ms);

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  const LanChannel* socket_ = nullptr;
  std::atomic<bool> stopped_{false};
};
