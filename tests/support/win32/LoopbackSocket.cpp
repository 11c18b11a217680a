#include "support/LoopbackSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>

namespace {

SOCKET sock(long long handle) { return static_cast<SOCKET>(handle); }

bool winsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

// Until the socket is readable (true) or `stop` turns true.
bool readable(SOCKET s, const std::atomic<bool>& stop) {
  while (!stop) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    timeval wait{0, 20000};
    if (::select(0, &ready, nullptr, nullptr, &wait) > 0) return true;
  }
  return false;
}

}  // namespace

LoopbackSocket::~LoopbackSocket() {
  if (handle_ >= 0) ::closesocket(sock(handle_));
}

LoopbackSocket& LoopbackSocket::operator=(LoopbackSocket&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::closesocket(sock(handle_));
    handle_ = other.handle_;
    other.handle_ = -1;
  }
  return *this;
}

LoopbackSocket LoopbackSocket::listen(int& port) {
  if (!winsockReady()) return {};
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return {};
  LoopbackSocket owned(static_cast<long long>(s));
  // Listening again on the port of a stopped server (its old connections may still linger).
  const BOOL reuse = port != 0;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  int len = sizeof addr;
  if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return {};
  }
  port = ntohs(addr.sin_port);
  return owned;
}

LoopbackSocket LoopbackSocket::accept(const std::atomic<bool>& stop) const {
  if (!readable(sock(handle_), stop)) return {};
  const SOCKET c = ::accept(sock(handle_), nullptr, nullptr);
  return c == INVALID_SOCKET ? LoopbackSocket() : LoopbackSocket(static_cast<long long>(c));
}

long LoopbackSocket::receive(char* data, std::size_t size, const std::atomic<bool>& stop) {
  if (!readable(sock(handle_), stop)) return -1;
  return ::recv(sock(handle_), data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
}

bool LoopbackSocket::sendAll(std::string_view bytes) {
  while (!bytes.empty()) {
    const int n = ::send(sock(handle_), bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)), 0);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
