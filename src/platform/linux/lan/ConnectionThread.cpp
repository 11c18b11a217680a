// POSIX threads behind the portable ConnectionThread.
#include "lan/ConnectionThread.h"

#include <pthread.h>

#include <memory>

namespace {

void* runConnection(void* work) {
  std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(work));
  try {
    (*run)();
  } catch (...) {
    // The connection ends; the server goes on.
  }
  return nullptr;
}

}  // namespace

bool ConnectionThread::start(std::function<void()> run) {
  join();
  auto work = std::make_unique<std::function<void()>>(std::move(run));
  pthread_attr_t attributes;
  if (::pthread_attr_init(&attributes) != 0) return false;
  ::pthread_attr_setstacksize(&attributes, kLanConnectionStack);
  pthread_t thread{};
  const bool started = ::pthread_create(&thread, &attributes, runConnection, work.get()) == 0;
  ::pthread_attr_destroy(&attributes);
  if (!started) return false;
  work.release();  // the thread owns it now
  handle_ = static_cast<std::uintptr_t>(thread);
  return true;
}

void ConnectionThread::join() {
  if (handle_ == 0) return;
  ::pthread_join(static_cast<pthread_t>(handle_), nullptr);
  handle_ = 0;
}
