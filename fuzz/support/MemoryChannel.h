#pragma once
// A connection held in memory for the fuzz targets: receive() hands out the peer's bytes in
// pieces of a chosen size and then reports the peer gone; send() keeps what the code answers.
// A piece is never less than a 64th of what is left, so a megabyte stream in one-byte pieces
// takes about a thousand calls, not a million, and the ends are still cut finely.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "lan/LanChannel.h"

class MemoryChannel final : public LanChannel {
 public:
  MemoryChannel(std::string_view incoming, std::size_t piece) : incoming_(incoming), piece_(std::max<std::size_t>(piece, 1)) {}

  long send(const void* data, std::size_t size) override {
    if (shut_) return -1;
    sent.append(static_cast<const char*>(data), size);
    return static_cast<long>(size);
  }
  long receive(void* data, std::size_t size) override {
    if (shut_) return -1;
    const std::size_t n = std::min({size, std::max(piece_, incoming_.size() / 64), incoming_.size()});
    std::memcpy(data, incoming_.data(), n);
    incoming_.remove_prefix(n);
    return static_cast<long>(n);
  }
  bool setReceiveTimeout(int) override { return true; }
  bool applySendTimeout(int) override { return true; }
  void setBulkBuffers(int) override {}
  void shutdownBoth() const override { shut_ = true; }
  void shutdownSend() const override {}
  std::string peerAddress() const override { return "10.0.0.2"; }

  std::string sent;

 private:
  std::string_view incoming_;
  std::size_t piece_;
  mutable bool shut_ = false;
};
