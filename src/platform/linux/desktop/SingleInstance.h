#pragma once
// One shell per user and X display: the first start holds a lock and listens on a private
// socket; a second start on the same display finds the lock taken and writes "show" to that
// socket. Another display of the same user (a second log-on session) runs its own shell.
//
// With $XDG_RUNTIME_DIR (a folder only the user can enter) the lock is an flock on KEY.lock
// there and the socket is KEY.sock beside it. Without it, an abstract socket named after the key
// and the user id is both lock and channel; since any local user could bind that name, both
// sides check the other's credentials and ignore strangers.
//
// The socket is read without ever blocking the main loop: a client that connects and then
// says nothing (or says it slowly) only costs a descriptor until it finishes or times out.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/common/UniqueFd.h"
#include "app/Desktop.h"

// KEY: TAMSEL_DESK_INSTANCE (tests name their own) or "tamsel-desk", then the display
// (":1.0" and ":1" are the same display), reduced to characters safe in a file name.
std::string instanceKey(const char* display);

class SingleInstance {
 public:
  explicit SingleInstance(std::string key);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Acquired: this process is the first and owns the lock (and, where it could be made, the
  // listening socket). Failed: neither could be settled; the cause is on standard error.
  InstanceLock acquire();
  // Asks the first process to show itself; false when it could not be told.
  bool requestShow();
  // Calls onShow on the main loop whenever another start asks.
  void listen(std::function<void()> onShow);

  int listeningSocket() const { return listener_.get(); }

 private:
  struct Client;
  bool address(std::string& path, std::string& abstractName) const;
  static int acceptReady(int fd, unsigned condition, void* self);
  static int clientReady(int fd, unsigned condition, void* client);
  static int clientTimedOut(void* client);
  void drop(Client* client);

  std::string key_;
  std::string socketPath_;  // empty for the abstract socket
  UniqueFd lock_;
  UniqueFd listener_;
  unsigned watch_ = 0;
  std::function<void()> onShow_;
  std::vector<std::unique_ptr<Client>> clients_;
};
