#pragma once
// TCP on 127.0.0.1 for the tests' own servers, over POSIX sockets or Winsock
// (tests/support/<platform>/LoopbackSocket.cpp). Waits end when `stop` turns true (checked
// every few milliseconds), so a server can always be stopped; the handle closes itself.
#include <atomic>
#include <cstddef>
#include <string_view>

class LoopbackSocket {
 public:
  LoopbackSocket() = default;
  ~LoopbackSocket();
  LoopbackSocket(LoopbackSocket&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
  LoopbackSocket& operator=(LoopbackSocket&& other) noexcept;
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  // Listens on 127.0.0.1:port (0: any free port; `port` gets the one bound). Invalid on failure.
  static LoopbackSocket listen(int& port);
  // The next connection; invalid once `stop` is true.
  LoopbackSocket accept(const std::atomic<bool>& stop) const;

  bool valid() const { return handle_ >= 0; }
  // 0 when the peer closed, < 0 on failure or once `stop` is true.
  long receive(char* data, std::size_t size, const std::atomic<bool>& stop);
  bool sendAll(std::string_view bytes);

 private:
  explicit LoopbackSocket(long long handle) : handle_(handle) {}
  long long handle_ = -1;
};
