#include "SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char kShowRequest[] = "show\n";

// An address and its length; the abstract form starts with a zero byte and has no terminator.
socklen_t makeAddress(const std::string& path, const std::string& abstractName, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (!path.empty()) {
    if (path.size() >= sizeof address.sun_path) return 0;
    std::memcpy(address.sun_path, path.data(), path.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
  }
  if (abstractName.size() + 1 > sizeof address.sun_path) return 0;
  std::memcpy(address.sun_path + 1, abstractName.data(), abstractName.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + abstractName.size());
}

bool peerIsMe(int fd) {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
  return credentials.uid == getuid();
}

bool privateRuntimeDir(std::string& dir) {
  const char* value = g_getenv("XDG_RUNTIME_DIR");
  if (!value || !*value) return false;
  struct stat info {};
  if (lstat(value, &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) return false;
  if ((info.st_mode & 077) != 0) return false;
  dir = value;
  return true;
}

int newSocket() { return socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0); }

}  // namespace

SingleInstance::~SingleInstance() {
  if (watch_) g_source_remove(watch_);
  if (listenFd_ >= 0) close(listenFd_);
  if (!socketPath_.empty() && lockFd_ >= 0) unlink(socketPath_.c_str());
  if (lockFd_ >= 0) close(lockFd_);
}

bool SingleInstance::acquire() {
  std::string dir;
  if (privateRuntimeDir(dir)) {
    socketPath_ = dir + "/tamsel-desk.sock";
    const std::string lockPath = dir + "/tamsel-desk.lock";
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd_ < 0) return false;
    if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
      close(lockFd_);
      lockFd_ = -1;
      return false;
    }
    // The lock is ours, so any socket file left there belongs to a shell that is gone.
    unlink(socketPath_.c_str());
  } else {
    abstractName_ = "tamsel.desk.native." + std::to_string(getuid());
  }

  sockaddr_un address{};
  const socklen_t length = makeAddress(socketPath_, abstractName_, address);
  listenFd_ = newSocket();
  if (listenFd_ < 0 || length == 0) return socketPath_.empty() ? false : true;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    const int error = errno;
    close(listenFd_);
    listenFd_ = -1;
    if (!socketPath_.empty() || error != EADDRINUSE) return true;  // the lock decides, or nothing can
    // The abstract name is taken: by another shell of this user, or by someone else squatting
    // on it, who must not keep this user's shell from starting.
    const int probe = newSocket();
    if (probe < 0) return false;
    const bool mine = connect(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 && peerIsMe(probe);
    close(probe);
    return !mine;
  }
  if (!socketPath_.empty()) chmod(socketPath_.c_str(), 0600);
  if (::listen(listenFd_, 4) != 0) {
    close(listenFd_);
    listenFd_ = -1;
  }
  return true;
}

bool SingleInstance::requestShow() {
  std::string dir;
  std::string path;
  std::string abstractName;
  if (privateRuntimeDir(dir)) {
    path = dir + "/tamsel-desk.sock";
  } else {
    abstractName = "tamsel.desk.native." + std::to_string(getuid());
  }
  sockaddr_un address{};
  const socklen_t length = makeAddress(path, abstractName, address);
  if (length == 0) return false;
  // The first shell may still be between taking the lock and listening.
  for (int attempt = 0; attempt < 20; ++attempt) {
    int fd = newSocket();
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0) {
      bool sent = false;
      if (peerIsMe(fd)) sent = send(fd, kShowRequest, sizeof kShowRequest - 1, MSG_NOSIGNAL) > 0;
      close(fd);
      return sent;
    }
    close(fd);
    g_usleep(50 * 1000);
  }
  return false;
}

void SingleInstance::listen(std::function<void()> onShow) {
  onShow_ = std::move(onShow);
  if (listenFd_ < 0 || watch_) return;
  watch_ = g_unix_fd_add(listenFd_, G_IO_IN, reinterpret_cast<GUnixFDSourceFunc>(&SingleInstance::handleReadable), this);
}

int SingleInstance::handleReadable(int fd, unsigned, void* self) {
  auto* instance = static_cast<SingleInstance*>(self);
  const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return G_SOURCE_CONTINUE;
  bool show = false;
  if (peerIsMe(client)) {
    // The sender writes its few bytes and closes; a short wait is enough and bounded.
    timeval timeout{0, 200 * 1000};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char buffer[16] = {};
    const ssize_t got = recv(client, buffer, sizeof buffer - 1, 0);
    show = got >= 4 && std::memcmp(buffer, "show", 4) == 0;
  }
  close(client);
  if (show && instance->onShow_) instance->onShow_();
  return G_SOURCE_CONTINUE;
}
