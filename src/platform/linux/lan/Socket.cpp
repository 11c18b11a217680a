// POSIX sockets behind the portable Socket.
#include "lan/Socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

int fd(long long handle) { return static_cast<int>(handle); }

bool setBlocking(int s, bool blocking) {
  const int flags = ::fcntl(s, F_GETFL, 0);
  if (flags < 0) return false;
  const int want = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  return ::fcntl(s, F_SETFL, want) == 0;
}

bool setTimeout(int s, int option, int ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return ::setsockopt(s, SOL_SOCKET, option, &tv, sizeof tv) == 0;
}

}  // namespace

Socket::~Socket() { close(); }

Socket::Socket(Socket&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

Socket Socket::listenAt(std::uint32_t address, int backlog, std::uint16_t& port) {
  const std::uint16_t wanted = port;
  port = 0;
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return {};
  // Lets a server that stopped listen again on its port while its old connections linger (the
  // old ones must have had it too); it never lets two listeners share a port.
  const int reuse = 1;
  ::setsockopt(fd(s.handle_), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(wanted);
  if (::bind(fd(s.handle_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  if (::listen(fd(s.handle_), backlog) != 0) return {};
  socklen_t len = sizeof addr;
  if (::getsockname(fd(s.handle_), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
  port = ntohs(addr.sin_port);
  return s;
}

Socket Socket::listenAny(int backlog, std::uint16_t& port) {
  port = 0;
  return listenAt(INADDR_ANY, backlog, port);
}

Socket Socket::listenLocal(int backlog, std::uint16_t& port) { return listenAt(INADDR_LOOPBACK, backlog, port); }

Socket Socket::accept(bool& stopped) const {
  stopped = !valid();
  if (stopped) return {};
  for (;;) {
    const int c = ::accept4(fd(handle_), nullptr, nullptr, SOCK_CLOEXEC);
    if (c >= 0) return Socket(c);
    if (errno == EINTR || errno == ECONNABORTED) continue;
    // A listener that was shut down answers EINVAL; a bad handle EBADF or ENOTSOCK. Anything
    // else (EMFILE, ENFILE, ENOBUFS, ENOMEM, EPERM from a firewall, a network error handed on
    // from the queued connection) passes.
    stopped = errno == EINVAL || errno == EBADF || errno == ENOTSOCK || errno == EOPNOTSUPP;
    return {};
  }
}

Socket Socket::connect(const PeerIpv4& address, std::uint32_t port, int timeoutMs,
                       const std::atomic<bool>* abort, bool* refused) {
  if (refused) *refused = false;
  if (port == 0 || port > 65535) return {};
  Socket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!s.valid()) return {};
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  // Built from the four checked fields, never by resolving text.
  std::memcpy(&addr.sin_addr.s_addr, address.octets.data(), 4);
  if (!setBlocking(fd(s.handle_), false)) return {};
  const int r = ::connect(fd(s.handle_), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  bool connected = r == 0;
  int err = r == 0 ? 0 : errno;
  if (!connected && err == EINPROGRESS) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (abort && abort->load()) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) break;
      pollfd p{fd(s.handle_), POLLOUT, 0};
      const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
      if (n < 0 && errno != EINTR) break;
      if (n > 0) {
        socklen_t len = sizeof err;
        connected = ::getsockopt(fd(s.handle_), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        break;
      }
    }
  }
  if (refused) *refused = !connected && err == ECONNREFUSED;
  if (!connected || !setBlocking(fd(s.handle_), true)) return {};
  s.setNoDelay();
  return s;
}

bool Socket::setReceiveTimeout(int ms) { return valid() && setTimeout(fd(handle_), SO_RCVTIMEO, ms); }

bool Socket::applySendTimeout(int ms) { return valid() && setTimeout(fd(handle_), SO_SNDTIMEO, ms); }

void Socket::setBulkBuffers(int bytes) {
  if (!valid()) return;
  ::setsockopt(fd(handle_), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
  ::setsockopt(fd(handle_), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

long Socket::send(const void* data, std::size_t size) {
  if (!valid()) return -1;
  for (;;) {
    const ssize_t n = ::send(fd(handle_), data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

long Socket::receive(void* data, std::size_t size) {
  if (!valid()) return -1;
  for (;;) {
    const ssize_t n = ::recv(fd(handle_), data, size, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) return -1;
  }
}

void Socket::setNoDelay() {
  if (!valid()) return;
  const int one = 1;
  ::setsockopt(fd(handle_), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Socket::shutdownBoth() const {
  if (valid()) ::shutdown(fd(handle_), SHUT_RDWR);
}

void Socket::shutdownSend() const {
  if (valid()) ::shutdown(fd(handle_), SHUT_WR);
}

std::string Socket::peerAddress() const {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (!valid() || ::getpeername(fd(handle_), reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.sin_family != AF_INET) {
    return {};
  }
  PeerIpv4 peer;
  std::memcpy(peer.octets.data(), &addr.sin_addr.s_addr, 4);
  return formatIPv4(peer);
}

void Socket::close() {
  if (valid()) ::close(fd(handle_));
  handle_ = -1;
}
