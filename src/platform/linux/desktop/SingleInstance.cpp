#include "SingleInstance.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "app/Cause.h"

namespace {

constexpr const char kShowRequest[] = "show\n";
// A start writes five bytes and closes; anything longer, or slower than this, is not one.
constexpr std::size_t kMaxRequest = 16;
constexpr unsigned kClientSeconds = 2;
// Silent connections beyond this many push the oldest out, so nobody can pile them up.
constexpr std::size_t kMaxClients = 8;

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

UniqueFd newSocket(int flags = 0) { return UniqueFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0)); }

std::string failure(const std::string& what, int error) { return what + ": " + std::strerror(error); }

}  // namespace

std::string instanceKey(const char* display) {
  const char* injected = g_getenv("TAMSEL_DESK_INSTANCE");
  std::string key = injected && *injected ? injected : "tamsel-desk";
  // "host:display.screen"; the screen does not make another session, a local host is no host.
  std::string shown = display ? display : "";
  const auto colon = shown.rfind(':');
  if (colon != std::string::npos) {
    std::string host = shown.substr(0, colon);
    std::string number = shown.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (host == "unix") host.clear();
    shown = host.empty() ? number : host + "-" + number;
  }
  key += "-" + (shown.empty() ? std::string("nodisplay") : shown);
  for (char& c : key) {
    if (!g_ascii_isalnum(c) && c != '-' && c != '_' && c != '.') c = '_';
  }
  return key.substr(0, 64);
}

struct SingleInstance::Client {
  SingleInstance* owner = nullptr;
  UniqueFd fd;
  std::string said;
  unsigned watch = 0;
  unsigned timeout = 0;
};

SingleInstance::SingleInstance(std::string key) : key_(std::move(key)) {}

SingleInstance::~SingleInstance() {
  while (!clients_.empty()) drop(clients_.front().get());
  if (watch_) g_source_remove(watch_);
  if (!socketPath_.empty() && listener_.valid()) unlink(socketPath_.c_str());
}

bool SingleInstance::address(std::string& path, std::string& abstractName) const {
  std::string dir;
  if (privateRuntimeDir(dir)) {
    path = dir + "/" + key_ + ".sock";
  } else {
    abstractName = key_ + "." + std::to_string(getuid());
  }
  return !dir.empty();
}

InstanceLock SingleInstance::acquire() {
  std::string abstractName;
  if (address(socketPath_, abstractName)) {
    const std::string lockPath = socketPath_.substr(0, socketPath_.size() - 5) + ".lock";
    lock_ = UniqueFd(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock_.valid()) {
      reportCause(failure("cannot open the single-instance lock " + lockPath, errno));
      return InstanceLock::Failed;
    }
    if (flock(lock_.get(), LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      lock_.close();
      if (error == EWOULDBLOCK) return InstanceLock::AnotherRuns;
      reportCause(failure("cannot lock " + lockPath, error));
      return InstanceLock::Failed;
    }
    // The lock is ours, so any socket file left there belongs to a shell that is gone.
    unlink(socketPath_.c_str());
  }

  sockaddr_un address{};
  const socklen_t length = makeAddress(socketPath_, abstractName, address);
  UniqueFd listener = newSocket(SOCK_NONBLOCK);
  const int made = listener.valid() && length != 0 ? 0 : (length == 0 ? ENAMETOOLONG : errno);
  if (made == 0 && bind(listener.get(), reinterpret_cast<sockaddr*>(&address), length) == 0) {
    if (!socketPath_.empty()) chmod(socketPath_.c_str(), 0600);
    if (::listen(listener.get(), 16) == 0) listener_ = std::move(listener);
    return InstanceLock::Acquired;
  }
  const int error = made != 0 ? made : errno;
  if (!socketPath_.empty()) {
    // The lock decides; this shell only cannot be woken by a second start.
    reportCause(failure("cannot listen on " + socketPath_ + " (a second start cannot show this shell)", error));
    return InstanceLock::Acquired;
  }
  if (error != EADDRINUSE) {
    reportCause(failure("cannot make the single-instance socket @" + abstractName, error));
    return InstanceLock::Failed;
  }
  // The abstract name is taken: by another shell of this user, or by someone else squatting
  // on it, who must not keep this user's shell from starting.
  UniqueFd probe = newSocket();
  if (!probe.valid()) {
    reportCause(failure("cannot make the single-instance socket", errno));
    return InstanceLock::Failed;
  }
  const bool mine = connect(probe.get(), reinterpret_cast<sockaddr*>(&address), length) == 0 && peerIsMe(probe.get());
  return mine ? InstanceLock::AnotherRuns : InstanceLock::Acquired;
}

bool SingleInstance::requestShow() {
  std::string path;
  std::string abstractName;
  address(path, abstractName);
  sockaddr_un address{};
  const socklen_t length = makeAddress(path, abstractName, address);
  if (length == 0) return false;
  // The first shell may still be between taking the lock and listening.
  for (int attempt = 0; attempt < 20; ++attempt) {
    UniqueFd fd = newSocket();
    if (!fd.valid()) return false;
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), length) == 0) {
      return peerIsMe(fd.get()) && send(fd.get(), kShowRequest, sizeof kShowRequest - 1, MSG_NOSIGNAL) > 0;
    }
    g_usleep(50 * 1000);
  }
  return false;
}

void SingleInstance::listen(std::function<void()> onShow) {
  onShow_ = std::move(onShow);
  if (!listener_.valid() || watch_) return;
  watch_ = g_unix_fd_add(listener_.get(), G_IO_IN, reinterpret_cast<GUnixFDSourceFunc>(&SingleInstance::acceptReady),
                         this);
}

int SingleInstance::acceptReady(int fd, unsigned, void* self) {
  auto* instance = static_cast<SingleInstance*>(self);
  for (;;) {
    UniqueFd client(accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client.valid()) break;
    if (!peerIsMe(client.get())) continue;
    if (instance->clients_.size() >= kMaxClients) instance->drop(instance->clients_.front().get());
    auto record = std::make_unique<Client>();
    record->owner = instance;
    record->fd = std::move(client);
    record->watch = g_unix_fd_add(record->fd.get(), static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                  reinterpret_cast<GUnixFDSourceFunc>(&SingleInstance::clientReady), record.get());
    record->timeout = g_timeout_add_seconds(kClientSeconds, &SingleInstance::clientTimedOut, record.get());
    instance->clients_.push_back(std::move(record));
  }
  return G_SOURCE_CONTINUE;
}

int SingleInstance::clientReady(int fd, unsigned, void* data) {
  auto* client = static_cast<Client*>(data);
  SingleInstance* instance = client->owner;
  char buffer[kMaxRequest];
  const ssize_t got = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return G_SOURCE_CONTINUE;
  if (got > 0) client->said.append(buffer, static_cast<std::size_t>(got));
  const bool ended = got <= 0 || client->said.find('\n') != std::string::npos;
  if (!ended && client->said.size() < kMaxRequest) return G_SOURCE_CONTINUE;
  const bool show = client->said.rfind("show", 0) == 0;
  // The source is removed by drop(); returning REMOVE as well would remove it twice.
  instance->drop(client);
  if (show && instance->onShow_) instance->onShow_();
  return G_SOURCE_CONTINUE;
}

int SingleInstance::clientTimedOut(void* data) {
  auto* client = static_cast<Client*>(data);
  client->timeout = 0;  // this source ends with the return
  client->owner->drop(client);
  return G_SOURCE_REMOVE;
}

void SingleInstance::drop(Client* client) {
  if (client->watch) g_source_remove(client->watch);
  if (client->timeout) g_source_remove(client->timeout);
  std::erase_if(clients_, [client](const std::unique_ptr<Client>& c) { return c.get() == client; });
}
