#pragma once
// A thin TCP socket over IPv4, written once for every platform: the backends implement it over
// POSIX sockets or Winsock. Blocking calls with optional time-outs; shutdown() may be called from
// another thread to wake a call blocked in receive or send, which is how transfers are
// cancelled. The handle is closed by the destructor; close() only from the owning thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lan/LanProtocol.h"

class Socket {
 public:
  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return handle_ >= 0; }

  // Listens on 0.0.0.0 and a port the system picks; `port` gets the bound port.
  static Socket listenAny(int backlog, std::uint16_t& port);
  // The next connection, or an invalid socket when the listener failed or was shut down.
  Socket accept() const;
  // Connects within timeoutMs (non-blocking connect and a wait). When `abort` turns true the
  // wait ends early with a failure. Port 0 or above 65,535 fails at once.
  static Socket connect(const PeerIpv4& address, std::uint32_t port, int timeoutMs,
                        const std::atomic<bool>* abort = nullptr);

  // 0 means no limit.
  bool setReceiveTimeout(int ms);
  bool setSendTimeout(int ms);
  // Asks for large kernel buffers for bulk transfers (a hint; failures are ignored).
  void setBulkBuffers(int bytes);

  // Bytes moved (> 0), 0 when the peer closed, < 0 on failure or time-out.
  long send(const void* data, std::size_t size);
  long receive(void* data, std::size_t size);
  // Sends everything in pieces of at most `piece` bytes; stops at the first piece that sends
  // nothing or fails.
  bool sendAll(std::string_view bytes, std::size_t piece = 1048576);
  // Sends small writes at once instead of holding them for the peer's acknowledgement.
  void setNoDelay();

  void shutdownBoth() const;  // any thread
  void shutdownSend() const;
  void close();

 private:
  explicit Socket(long long handle) : handle_(handle) {}
  long long handle_ = -1;
};
