#pragma once
// A thread with a small stack, for one connection of the LAN server. A connection's work is
// shallow (a head buffer on the stack, everything larger on the heap), while the system's
// default stack reserves 8 MiB on Linux and 1 MiB on Windows for each of what may be dozens of
// connections at once. The backends start it with the system's own thread calls, which can be
// given a stack size.
#include <cstddef>
#include <cstdint>
#include <functional>

inline constexpr std::size_t kLanConnectionStack = 256 * 1024;

class ConnectionThread {
 public:
  ConnectionThread() = default;
  ~ConnectionThread() { join(); }
  ConnectionThread(ConnectionThread&& other) noexcept : handle_(other.handle_) { other.handle_ = 0; }
  ConnectionThread& operator=(ConnectionThread&& other) noexcept {
    if (this != &other) {
      join();
      handle_ = other.handle_;
      other.handle_ = 0;
    }
    return *this;
  }
  ConnectionThread(const ConnectionThread&) = delete;
  ConnectionThread& operator=(const ConnectionThread&) = delete;

  // Runs `run` on a new thread; false, with nothing started, when the system gives none.
  bool start(std::function<void()> run);
  bool joinable() const { return handle_ != 0; }
  void join();

 private:
  std::uintptr_t handle_ = 0;  // the system's thread handle; 0 when none
};
