#pragma once
// The LAN registry and server: offers, streams, sinks, native offers, and the listening socket.
// (Filled in by the LAN transfer work; App holds one.)
#include <memory>

class LanServer {
 public:
  LanServer() = default;
  virtual ~LanServer() = default;
};
