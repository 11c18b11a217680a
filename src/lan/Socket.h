#pragma once
// A thin TCP socket over IPv4, written once for every platform: the backends implement it over
// POSIX sockets or Winsock. Blocking calls with optional time-outs; shutdown() may be called from
// another thread to wake a call blocked in receive or send, which is how transfers are
// cancelled. The handle is closed by the destructor; close() only from the owning thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "lan/LanChannel.h"
#include "lan/LanProtocol.h"

class Socket final : public LanChannel {
 public:
  Socket() = default;
  ~Socket() override;
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return handle_ >= 0; }

  // Listens on 0.0.0.0 and a port the system picks; `port` gets the bound port.
  static Socket listenAny(int backlog, std::uint16_t& port);
  // Listens on 127.0.0.1 only, at `port` (0: one the system picks; `port` gets the bound one),
  // for servers no other host may reach.
  static Socket listenLocal(int backlog, std::uint16_t& port);
  // The next connection. An invalid socket with `stopped` false is a passing failure (the
  // process ran out of descriptors or memory, a connection was reset while queued): the caller
  // may pause and try again. `stopped` true means the listener was shut down or is unusable.
  Socket accept(bool& stopped) const;
  // Connects within timeoutMs (non-blocking connect and a wait). When `abort` turns true the
  // wait ends early with a failure. Port 0 or above 65,535 fails at once. `refused` (when
  // given) tells whether the peer actively refused the connection.
  static Socket connect(const PeerIpv4& address, std::uint32_t port, int timeoutMs,
                        const std::atomic<bool>* abort = nullptr, bool* refused = nullptr);

  long send(const void* data, std::size_t size) override;
  long receive(void* data, std::size_t size) override;
  bool setReceiveTimeout(int ms) override;
  void setBulkBuffers(int bytes) override;
  void shutdownBoth() const override;
  void shutdownSend() const override;
  std::string peerAddress() const override;
  // Sends small writes at once instead of holding them for the peer's acknowledgement.
  void setNoDelay();
  void close();

 protected:
  bool applySendTimeout(int ms) override;

 private:
  explicit Socket(long long handle) : handle_(handle) {}
  // `address` in host order; `port` as for listenLocal.
  static Socket listenAt(std::uint32_t address, int backlog, std::uint16_t& port);
  long long handle_ = -1;
};
