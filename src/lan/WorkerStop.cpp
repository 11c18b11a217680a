#include "lan/WorkerStop.h"

#include <chrono>

#include "lan/LanChannel.h"

void WorkerStop::stop() {
  std::lock_guard guard(lock_);
  stopped_ = true;
  if (socket_) socket_->shutdownBoth();
  wake_.notify_all();
}

bool WorkerStop::attach(const LanChannel* socket) {
  std::lock_guard guard(lock_);
  socket_ = socket;
  return !stopped_;
}

void WorkerStop::detach() {
  std::lock_guard guard(lock_);
  socket_ = nullptr;
}

bool WorkerStop::sleepFor(std::uint64_t ms) {
  std::unique_lock guard(lock_);
  return !wake_.wait_for(guard, std::chrono::milliseconds(ms), [&] { return stopped_.load(); });
}
