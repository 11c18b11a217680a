#pragma once
// One end of a connection as the LAN server and fetch see it: a connected Socket in the shell,
// an in-memory conversation in the fuzz targets. Blocking calls with optional time-outs;
// shutdownBoth() may come from another thread to wake a call blocked in receive or send.
#include <cstddef>
#include <string>
#include <string_view>

class LanChannel {
 public:
  virtual ~LanChannel() = default;

  // Bytes moved (> 0), 0 when the peer closed, < 0 on failure or time-out.
  virtual long send(const void* data, std::size_t size) = 0;
  virtual long receive(void* data, std::size_t size) = 0;
  // 0 means no limit.
  virtual bool setReceiveTimeout(int ms) = 0;
  // A limit on each sendAll as a whole: partial sends into a reader that barely takes bytes do
  // not extend it.
  bool setSendTimeout(int ms);
  // Asks for large buffers for bulk transfers (a hint; failures are ignored).
  virtual void setBulkBuffers(int bytes) = 0;
  virtual void shutdownBoth() const = 0;  // any thread
  virtual void shutdownSend() const = 0;
  // The peer's IPv4 address as dotted text; empty when it is not known.
  virtual std::string peerAddress() const = 0;

  // Sends everything in pieces of at most `piece` bytes; stops at the first piece that sends
  // nothing or fails, and when the send limit passes first.
  bool sendAll(std::string_view bytes, std::size_t piece = 1048576);

 protected:
  // The limit of one blocking send call; 0 means none.
  virtual bool applySendTimeout(int ms) = 0;

 private:
  int sendLimitMs_ = 0;
};
