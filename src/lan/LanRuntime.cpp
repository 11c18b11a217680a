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
    for (auto& f : fetches_) f.stop.stop();
  }
  std::list<Fetch> all;
  {
    std::lock_guard guard(lock_);
    all.swap(fetches_);
  }
  for (auto& f : all) {
    if (f.thread.joinable()) f.thread.join();
  }
  if (app_.lan) app_.lan->stop();
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
  std::list<Fetch> finished;
  {
    std::lock_guard guard(lock_);
    for (auto it = fetches_.begin(); it != fetches_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), fetches_, it);
      it = next;
    }
  }
  for (auto& f : finished) {
    if (f.thread.joinable()) f.thread.join();
  }
}

bool LanRuntime::startFetch(std::function<void(FetchStop&)> work) {
  if (!app_.workerMayStart("lan")) return false;
  reap();
  std::lock_guard guard(lock_);
  if (stopping_) return false;
  fetches_.emplace_back();
  Fetch& f = fetches_.back();
  try {
    f.thread = std::thread([this, &f, work = std::move(work)] {
      work(f.stop);
      std::lock_guard done(lock_);
      f.done = true;
    });
  } catch (...) {
    fetches_.pop_back();
    return false;
  }
  return true;
}

LanRuntime& lanRuntimeOf(App& app) {
  if (!app.lanRuntime) app.lanRuntime = std::make_shared<LanRuntime>(app);
  return *app.lanRuntime;
}
