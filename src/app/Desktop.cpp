#include "app/Desktop.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Shared with every worker, so that the count outlives a desktop whose process ends first.
struct Desktop::Workers {
  std::mutex lock;
  std::condition_variable idle;
  std::size_t running = 0;
};

Desktop::Desktop() : workers_(std::make_shared<Workers>()) {}

Desktop::~Desktop() = default;

bool Desktop::startWorker(const char*, std::function<void()> work) {
  try {
    {
      std::lock_guard guard(workers_->lock);
      ++workers_->running;
    }
    std::thread([work = std::move(work), workers = workers_]() mutable {
      try {
        work();
      } catch (...) {
        // A worker reports through its events or not at all; nothing leaves its thread.
      }
      work = nullptr;  // what the work holds is let go of before it counts as ended
      std::lock_guard guard(workers->lock);
      --workers->running;
      workers->idle.notify_all();
    }).detach();
    return true;
  } catch (...) {
    std::lock_guard guard(workers_->lock);
    --workers_->running;
    return false;
  }
}

bool Desktop::workersEnded(std::uint64_t ms) {
  std::unique_lock guard(workers_->lock);
  const auto none = [&] { return workers_->running == 0; };
  if (ms == 0) {
    workers_->idle.wait(guard, none);
    return true;
  }
  return workers_->idle.wait_for(guard, std::chrono::milliseconds(ms), none);
}
