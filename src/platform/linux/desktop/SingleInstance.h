#pragma once
// One shell per user: the first start holds a lock and listens on a private socket; a second
// start finds the lock taken and writes "show" to that socket.
//
// With $XDG_RUNTIME_DIR (a folder only the user can enter) the lock is an flock on
// tamsel-desk.lock there and the socket is tamsel-desk.sock beside it. Without it, an abstract
// socket named after the user id is both lock and channel; since any local user could bind
// that name, both sides check the other's credentials and ignore strangers.
#include <functional>
#include <string>

class SingleInstance {
 public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process is the first: it then owns the lock and the listening socket.
  bool acquire();
  // Asks the first process to show itself; false when it could not be told.
  bool requestShow();
  // Calls onShow on the main loop whenever another start asks.
  void listen(std::function<void()> onShow);

  int listeningSocket() const { return listenFd_; }

 private:
  static int handleReadable(int fd, unsigned condition, void* self);
  std::string socketPath_;  // empty for the abstract socket
  std::string abstractName_;
  int lockFd_ = -1;
  int listenFd_ = -1;
  unsigned watch_ = 0;
  std::function<void()> onShow_;
};
