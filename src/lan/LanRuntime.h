#pragma once
// What the LAN side of one App runs: its LanServer, its pending sink receptions and its worker
// threads (fetches, pushes, probes, sink waits). Created on the first LAN message; destroyed
// with the App, which first stops every worker (sockets shut down, part files kept for a later
// resume) and the server, and joins all their threads, so no thread outlives the window, the
// page state or the registry it reports to.
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "lan/LanFetch.h"
#include "lan/LanSink.h"

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
  LanSinks& sinks() { return sinks_; }
  // Runs `work` on a thread of its own; false when no thread could be made (or while stopping).
  bool startWorker(std::function<void(WorkerStop&)> work);

 private:
  struct Worker {
    std::thread thread;
    WorkerStop stop;
    bool done = false;  // guarded by lock_
  };
  void reap();

  App& app_;
  LanSinks sinks_;
  std::mutex lock_;
  std::list<Worker> workers_;
  bool stopping_ = false;
};

// The App's runtime, made on first use (main thread).
LanRuntime& lanRuntimeOf(App& app);
// The App's server with the page's script posting installed (the first "lanOpen", "lanSink" or
// "lanSinkGet" installs it; main thread).
LanServer& lanServerWithScripts(App& app);
