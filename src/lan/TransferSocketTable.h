#pragma once
// The sockets of incoming transfers (fetches and received pushes) by transfer id, so that a
// cancel from the page can shut them down. One per process, shared by every thread that uses
// it (transferSockets() hands out shared ownership, so it outlives its last user).
#include <memory>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

#include "lan/CancelledTransfers.h"

class LanChannel;

class TransferSocketTable {
 public:
  // False when the id is cancelled: the caller gives up at once. The socket must be
  // unregistered before it is closed.
  bool registerTransferSocket(const std::string& id, const LanChannel* socket);
  void unregisterTransferSocket(const std::string& id, const LanChannel* socket);
  void clearCancelledTransfer(const std::string& id) { cancelled_.clear(id); }
  // Marks the id cancelled and shuts down every socket registered under it.
  void cancelTransfer(const std::string& id);
  bool isCancelled(const std::string& id) const { return cancelled_.contains(id); }

 private:
  mutable std::shared_mutex lock_;
  std::vector<std::pair<std::string, const LanChannel*>> entries_;
  // Marked before the sockets are shut down and read after a socket is listed, so a cancel and
  // a registration that cross each other still end the transfer.
  CancelledTransfers cancelled_;
};

std::shared_ptr<TransferSocketTable> transferSockets();
