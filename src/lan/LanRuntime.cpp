#include "lan/LanRuntime.h"

#include "app/App.h"
#include "lan/LanServer.h"

LanRuntime::LanRuntime(App& app) : app_(app) {}

LanRuntime::~LanRuntime() {
  // Nothing may reach the page any more; workers that finish now only clean up.
  app_.closing = true;
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
    for (auto& w : workers_) w.stop.stop();
  }
  // Before the join: a push blocked in a send, or waiting for the page's next chunk, ends only
  // when the server cancels its stream.
  if (app_.lan) app_.lan->stop();
  std::list<Worker> all;
  {
    std::lock_guard guard(lock_);
    all.swap(workers_);
  }
  for (auto& w : all) {
    if (w.thread.joinable()) w.thread.join();
  }
}

LanServer& LanRuntime::server() {
  if (!app_.lan) {
    auto server = std::make_shared<LanServer>();
    Desktop& desktop = app_.desktop();
    server->setClock([&desktop] { return desktop.tickMs(); });
    server->setKeepAwake([&desktop](bool on) { desktop.keepAwake(on); });
    app_.lan = std::move(server);
  }
  return *app_.lan;
}

void LanRuntime::reap() {
  std::list<Worker> finished;
  {
    std::lock_guard guard(lock_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), workers_, it);
      it = next;
    }
  }
  for (auto& w : finished) {
    if (w.thread.joinable()) w.thread.join();
  }
}

bool LanRuntime::startWorker(std::function<void(WorkerStop&)> work) {
  if (!app_.workerMayStart("lan")) return false;
  reap();
  std::lock_guard guard(lock_);
  if (stopping_) return false;
  workers_.emplace_back();
  Worker& w = workers_.back();
  try {
    w.thread = std::thread([this, &w, work = std::move(work)] {
      try {
        work(w.stop);
      } catch (...) {
        // A worker reports through the page or not at all; nothing leaves its thread.
      }
      std::lock_guard done(lock_);
      w.done = true;
    });
  } catch (...) {
    workers_.pop_back();
    return false;
  }
  return true;
}

LanRuntime& lanRuntimeOf(App& app) {
  if (!app.lanRuntime) app.lanRuntime = std::make_shared<LanRuntime>(app);
  return *app.lanRuntime;
}

LanServer& lanServerWithScripts(App& app) {
  LanServer& server = lanRuntimeOf(app).server();
  if (!server.hasPostScript()) server.installPostScript([&app](const WString& s) { app.postScript(s); });
  return server;
}
