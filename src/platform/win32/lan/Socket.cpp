// Winsock 2 behind the portable Socket. Every socket stays non-blocking underneath, because on
// Windows shutdown() neither wakes a blocked accept() (a listener answers WSAENOTCONN) nor
// reliably a blocked recv() or send() in another thread. The blocking calls of the interface
// wait on an event that the socket's readiness sets (WSAEventSelect) and that shutdownBoth()
// sets too, so an idle listener sleeps until a peer comes or the server stops. Receives and
// sends wake at least once a second besides, since another thread may wait on the same socket
// and one socket has one event at a time; a connect waits in short select() slices, as it also
// watches its worker's stop flag. The receive and send limits are kept where Windows keeps them,
// SO_RCVTIMEO and SO_SNDTIMEO (DWORD milliseconds), and read back when a call has to wait.
// Links against ws2_32.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "lan/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 100;
constexpr long long kSharedWaitCapMs = 1000;

SOCKET sock(long long handle) { return static_cast<SOCKET>(handle); }

// Once per process and thread-safe (a function-local static). Never cleaned up: sockets owned by
// static objects may still close while the process exits.
bool winsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

// Sockets shut down by shutdownBoth() and not yet closed. Lives in static storage that is never
// destroyed, for the same reason as above.
struct StoppedSockets {
  std::mutex lock;
  std::vector<SOCKET> handles;
  std::vector<std::pair<SOCKET, WSAEVENT>> waits;  // the event each waiting call sleeps on
};

StoppedSockets& stoppedSockets() {
  alignas(StoppedSockets) static unsigned char storage[sizeof(StoppedSockets)];
  static StoppedSockets& stopped = *::new (static_cast<void*>(storage)) StoppedSockets();
  return stopped;
}

void markStopped(SOCKET s) {
  StoppedSockets& stopped = stoppedSockets();
  std::lock_guard guard(stopped.lock);
  if (std::find(stopped.handles.begin(), stopped.handles.end(), s) == stopped.handles.end()) {
    stopped.handles.push_back(s);
  }
  for (const auto& [waiting, event] : stopped.waits)
    if (waiting == s) ::WSASetEvent(event);
}

bool isStopped(SOCKET s) {
  StoppedSockets& stopped = stoppedSockets();
  std::lock_guard guard(stopped.lock);
  return std::find(stopped.handles.begin(), stopped.handles.end(), s) != stopped.handles.end();
}

// Before the handle is closed, so that a later socket given the same value starts unmarked.
void forgetStopped(SOCKET s) {
  StoppedSockets& stopped = stoppedSockets();
  std::lock_guard guard(stopped.lock);
  std::erase(stopped.handles, s);
}

bool setNonBlocking(SOCKET s) {
  u_long on = 1;
  return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

// Not inherited by programs this process starts (the installer, the shell).
void keepFromChildren(SOCKET s) {
  ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
}

SOCKET newTcpSocket() {
  if (!winsockReady()) return INVALID_SOCKET;
  return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                      WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

int clampLength(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

bool setTimeout(SOCKET s, int option, int ms) {
  if (ms < 0) return false;
  const DWORD value = static_cast<DWORD>(ms);
  return ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&value),
                      sizeof value) == 0;
}

// The end of a wait under the limit stored with setReceiveTimeout/setSendTimeout; none for 0.
std::optional<Clock::time_point> deadlineFor(SOCKET s, int option) {
  DWORD value = 0;
  int len = sizeof value;
  if (::getsockopt(s, SOL_SOCKET, option, reinterpret_cast<char*>(&value), &len) != 0 ||
      value == 0) {
    return std::nullopt;
  }
  return Clock::now() + std::chrono::milliseconds(value);
}

// Waits until `s` is readable (or writable), the deadline passes, the socket is shut down or
// `abort` turns true; only the first counts as success. With `connectFailed`, the exception set
// is watched too, which is where Windows reports a connect that failed.
bool waitReady(SOCKET s, bool write, std::optional<Clock::time_point> deadline,
               const std::atomic<bool>* abort, bool* connectFailed);

// Sleeps until `s` may be ready (or writable), the deadline or `capMs` passes, or the socket is
// shut down; false only for the last two that end the call (stopped, or the deadline passed). A
// true may be early: the caller tries again and waits again.
bool waitEvent(SOCKET s, bool write, std::optional<Clock::time_point> deadline, std::optional<long long> capMs) {
  long long waitMs = capMs.value_or(-1);
  if (deadline) {
    const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0) return false;
    waitMs = waitMs < 0 ? left : std::min(waitMs, left);
  }
  const WSAEVENT event = ::WSACreateEvent();
  if (event == WSA_INVALID_EVENT) return waitReady(s, write, deadline, nullptr, nullptr);
  StoppedSockets& stopped = stoppedSockets();
  {
    std::lock_guard guard(stopped.lock);
    if (std::find(stopped.handles.begin(), stopped.handles.end(), s) != stopped.handles.end()) {
      ::WSACloseEvent(event);
      return false;
    }
    stopped.waits.emplace_back(s, event);
  }
  const long mask = write ? (FD_WRITE | FD_CLOSE) : (FD_READ | FD_ACCEPT | FD_CLOSE);
  const bool selected = ::WSAEventSelect(s, event, mask) == 0;
  if (selected) {
    ::WSAWaitForMultipleEvents(1, &event, FALSE, waitMs < 0 ? WSA_INFINITE : static_cast<DWORD>(waitMs), FALSE);
    ::WSAEventSelect(s, nullptr, 0);
  }
  {
    std::lock_guard guard(stopped.lock);
    std::erase(stopped.waits, std::pair<SOCKET, WSAEVENT>(s, event));
  }
  ::WSACloseEvent(event);
  if (!selected) return waitReady(s, write, deadline, nullptr, nullptr);
  if (isStopped(s)) return false;
  return !deadline || Clock::now() < *deadline;
}

bool waitReady(SOCKET s, bool write, std::optional<Clock::time_point> deadline,
               const std::atomic<bool>* abort, bool* connectFailed) {
  for (;;) {
    if (isStopped(s) || (abort && abort->load())) return false;
    long long slice = kSliceMs;
    if (deadline) {
      const long long left =
          std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
      if (left <= 0) return false;
      slice = std::min(slice, left);
    }
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval tv{};
    tv.tv_sec = static_cast<long>(slice / 1000);
    tv.tv_usec = static_cast<long>((slice % 1000) * 1000);
    const int n = ::select(0, write ? nullptr : &ready, write ? &ready : nullptr,
                           connectFailed ? &failed : nullptr, &tv);
    if (n == SOCKET_ERROR) return false;
    if (n > 0) {
      if (connectFailed) *connectFailed = FD_ISSET(s, &failed) != 0;
      return true;
    }
  }
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
  Socket s(static_cast<long long>(newTcpSocket()));
  if (!s.valid()) return {};
  const SOCKET h = sock(s.handle_);
  // Without it another program could bind the same port with SO_REUSEADDR and take connections
  // meant for this one. A hint: the listener works without it.
  const BOOL exclusive = TRUE;
  ::setsockopt(h, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  addr.sin_port = htons(wanted);
  if (::bind(h, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  if (::listen(h, backlog) != 0) return {};
  int len = sizeof addr;
  if (::getsockname(h, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return {};
  if (!setNonBlocking(h)) return {};
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
  const SOCKET s = sock(handle_);
  for (;;) {
    // A listener that was shut down accepts nothing more, not even what is already queued.
    if (isStopped(s)) {
      stopped = true;
      return {};
    }
    const SOCKET c = ::accept(s, nullptr, nullptr);
    if (c != INVALID_SOCKET) {
      Socket accepted(static_cast<long long>(c));
      keepFromChildren(c);
      if (!setNonBlocking(c)) continue;  // closes it; wait for the next one
      return accepted;
    }
    const int error = ::WSAGetLastError();
    // Reset by the peer while still queued: not the listener's failure.
    if (error == WSAECONNRESET) continue;
    if (error == WSAEWOULDBLOCK) {
      if (!waitEvent(s, false, std::nullopt, std::nullopt)) {
        stopped = isStopped(s);
        return {};
      }
      continue;
    }
    // Out of sockets or buffers passes; a listener that is no longer one does not.
    stopped = error == WSAENOTSOCK || error == WSAEINVAL || error == WSAEOPNOTSUPP;
    return {};
  }
}

Socket Socket::connect(const PeerIpv4& address, std::uint32_t port, int timeoutMs,
                       const std::atomic<bool>* abort, bool* refused) {
  if (refused) *refused = false;
  if (port == 0 || port > 65535) return {};
  Socket s(static_cast<long long>(newTcpSocket()));
  if (!s.valid()) return {};
  const SOCKET h = sock(s.handle_);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  // Built from the four checked fields, never by resolving text.
  std::memcpy(&addr.sin_addr.s_addr, address.octets.data(), 4);
  if (!setNonBlocking(h)) return {};
  const int r = ::connect(h, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  bool connected = r == 0;
  if (!connected && ::WSAGetLastError() == WSAEWOULDBLOCK) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool failed = false;
    if (waitReady(h, true, deadline, abort, &failed)) {
      int error = 0;
      int len = sizeof error;
      const bool read = ::getsockopt(h, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) == 0;
      connected = !failed && read && error == 0;
      if (refused) *refused = read && error == WSAECONNREFUSED;
    }
  }
  if (!connected) return {};
  s.setNoDelay();
  return s;
}

bool Socket::setReceiveTimeout(int ms) { return valid() && setTimeout(sock(handle_), SO_RCVTIMEO, ms); }

bool Socket::applySendTimeout(int ms) { return valid() && setTimeout(sock(handle_), SO_SNDTIMEO, ms); }

void Socket::setBulkBuffers(int bytes) {
  if (!valid()) return;
  const char* value = reinterpret_cast<const char*>(&bytes);
  ::setsockopt(sock(handle_), SOL_SOCKET, SO_SNDBUF, value, sizeof bytes);
  ::setsockopt(sock(handle_), SOL_SOCKET, SO_RCVBUF, value, sizeof bytes);
}

// Windows raises no signal for a send to a closed connection; it fails with an error code.
long Socket::send(const void* data, std::size_t size) {
  if (!valid()) return -1;
  const SOCKET s = sock(handle_);
  if (isStopped(s)) return -1;
  bool waited = false;
  std::optional<Clock::time_point> deadline;
  for (;;) {
    const int n = ::send(s, static_cast<const char*>(data), clampLength(size), 0);
    if (n >= 0) return n;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    if (!waited) deadline = deadlineFor(s, SO_SNDTIMEO);
    waited = true;
    if (!waitEvent(s, true, deadline, kSharedWaitCapMs)) return -1;
  }
}

long Socket::receive(void* data, std::size_t size) {
  if (!valid()) return -1;
  const SOCKET s = sock(handle_);
  if (isStopped(s)) return -1;
  bool waited = false;
  std::optional<Clock::time_point> deadline;
  for (;;) {
    const int n = ::recv(s, static_cast<char*>(data), clampLength(size), 0);
    if (n >= 0) return n;
    if (::WSAGetLastError() != WSAEWOULDBLOCK) return -1;
    if (!waited) deadline = deadlineFor(s, SO_RCVTIMEO);
    waited = true;
    if (!waitEvent(s, false, deadline, kSharedWaitCapMs)) return -1;
  }
}

void Socket::setNoDelay() {
  if (!valid()) return;
  const BOOL one = TRUE;
  ::setsockopt(sock(handle_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one),
               sizeof one);
}

void Socket::shutdownBoth() const {
  if (!valid()) return;
  markStopped(sock(handle_));
  ::shutdown(sock(handle_), SD_BOTH);
}

void Socket::shutdownSend() const {
  if (valid()) ::shutdown(sock(handle_), SD_SEND);
}

std::string Socket::peerAddress() const {
  sockaddr_in addr{};
  int len = sizeof addr;
  if (!valid() || ::getpeername(sock(handle_), reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      addr.sin_family != AF_INET) {
    return {};
  }
  PeerIpv4 peer;
  std::memcpy(peer.octets.data(), &addr.sin_addr.s_addr, 4);
  return formatIPv4(peer);
}

void Socket::close() {
  if (valid()) {
    forgetStopped(sock(handle_));
    ::closesocket(sock(handle_));
  }
  handle_ = -1;
}
