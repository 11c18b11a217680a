#pragma once
// What the LAN side of one App runs: its LanServer and its fetch threads. Created on the first
// LAN message; destroyed with the App, which first stops every fetch (its socket is shut down,
// its part file kept for a later resume) and the server, and joins all their threads, so no
// thread outlives the window, the page state or the registry it reports to.
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "lan/LanFetch.h"

class App;
class LanServer;

class LanRuntime {
 public:
  explicit LanRuntime(App& app);
  ~LanRuntime();
  LanRuntime(const LanRuntime&) = delete;
  LanRuntime& operator=(const LanRuntime&) = delete;

  // The App's server, made on first use with the App's clock, keep-awake and script posting.
  LanServer& server();
  // Runs `work` on a thread of its own; false when no thread could be made (or while stopping).
  bool startFetch(std::function<void(FetchStop&)> work);

 private:
  struct Fetch {
    std::thread thread;
    FetchStop stop;
    bool done = false;  // guarded by lock_
  };
  void reap();

  App& app_;
  std::mutex lock_;
  std::list<Fetch> fetches_;
  bool stopping_ = false;
};

// The App's runtime, made on first use (main thread).
LanRuntime& lanRuntimeOf(App& app);
