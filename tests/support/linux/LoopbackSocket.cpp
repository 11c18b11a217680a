#include "support/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

LoopbackSocket::~LoopbackSocket() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

LoopbackSocket LoopbackSocket::listen(int& port) {
  LoopbackSocket s(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const int one = 1;
  ::setsockopt(static_cast<int>(s.handle_), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  socklen_t len = sizeof addr;
  const int fd = static_cast<int>(s.handle_);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return {};
  }
  port = ntohs(addr.sin_port);
  return s;
}

namespace {

// Until the socket is readable (true) or `stop` turns true.
bool readable(int fd, const std::atomic<bool>& stop) {
  pollfd p{fd, POLLIN, 0};
  while (!stop) {
    if (::poll(&p, 1, 20) > 0) return true;
  }
  return false;
}

}  // namespace

LoopbackSocket LoopbackSocket::accept(const std::atomic<bool>& stop) const {
  if (!readable(static_cast<int>(handle_), stop)) return {};
  return LoopbackSocket(::accept4(static_cast<int>(handle_), nullptr, nullptr, SOCK_CLOEXEC));
}

long LoopbackSocket::receive(char* data, std::size_t size, const std::atomic<bool>& stop) {
  if (!readable(static_cast<int>(handle_), stop)) return -1;
  return static_cast<long>(::recv(static_cast<int>(handle_), data, size, 0));
}

bool LoopbackSocket::sendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(static_cast<int>(handle_), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
