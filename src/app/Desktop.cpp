#include "app/Desktop.h"

#include <thread>

bool Desktop::startWorker(const char*, std::function<void()> work) {
  try {
    std::thread([work = std::move(work)] {
      try {
        work();
      } catch (...) {
        // A worker reports through its events or not at all; nothing leaves its thread.
      }
    }).detach();
    return true;
  } catch (...) {
    return false;
  }
}
