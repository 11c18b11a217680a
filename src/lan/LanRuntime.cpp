#include "lan/LanRuntime.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

#include "lan/LanServer.h"
#include "lan/WorkerStop.h"

// The workers still running, shared with each of them: a worker's last step is taking itself
// off this list, after which it touches nothing of the runtime, which may then be gone.
struct LanRuntime::Workers {
  std::mutex lock;
  std::condition_variable idle;
  std::vector<std::shared_ptr<WorkerStop>> running;
  std::map<std::string, std::size_t, std::less<>> named;  // running workers by name
  bool stopping = false;
};

LanRuntime::LanRuntime(LanSeams seams)
    : seams_(std::move(seams)),
      server_(std::make_shared<LanServer>(seams_.clock, seams_.keepAwake)),
      workers_(std::make_shared<Workers>()) {}

// Only the last worker's end or the owner lets go of the runtime, and by then none runs.
LanRuntime::~LanRuntime() { stop(0); }

bool LanRuntime::stop(std::uint64_t ms) {
  {
    std::lock_guard guard(workers_->lock);
    workers_->stopping = true;
    for (auto& stop : workers_->running) stop->stop();
  }
  // A push blocked in a send, or waiting for the page's next chunk, ends only when the server
  // cancels its stream.
  server_->stop();
  std::unique_lock guard(workers_->lock);
  return workers_->idle.wait_for(guard, std::chrono::milliseconds(ms), [&] { return workers_->running.empty(); });
}

LanServer& LanRuntime::serverWithEvents() {
  server_->installEvents(seams_.events);
  return *server_;
}

bool LanRuntime::stopping() const {
  std::lock_guard guard(workers_->lock);
  return workers_->stopping;
}

std::filesystem::path LanRuntime::partPath(const std::string& lid) const {
  return seams_.partFolder() / ("lan-" + lid + ".part");
}

bool LanRuntime::startWorker(const char* name, std::function<void(WorkerStop&)> work, std::size_t limit) {
  auto stop = std::make_shared<WorkerStop>();
  {
    std::lock_guard guard(workers_->lock);
    if (workers_->stopping) return false;
    std::size_t& named = workers_->named[name];
    if (limit != 0 && named >= limit) return false;
    ++named;
    workers_->running.push_back(stop);
  }
  const auto ended = [workers = workers_, stop, key = std::string(name)] {
    std::lock_guard guard(workers->lock);
    --workers->named[key];
    std::erase(workers->running, stop);
    workers->idle.notify_all();
  };
  const bool started = seams_.startWorker(name, [self = shared_from_this(), work = std::move(work), stop, ended]() mutable {
    try {
      work(*stop);
    } catch (...) {
      // A worker reports through its events or not at all; nothing leaves its thread.
    }
    work = nullptr;  // what the work holds goes while the runtime still waits
    ended();
  });
  if (!started) ended();
  return started;
}
