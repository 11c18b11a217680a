#include "lan/TransferSocketTable.h"

#include <algorithm>
#include <mutex>

#include "lan/LanChannel.h"

bool TransferSocketTable::registerTransferSocket(const std::string& id, const LanChannel* socket) {
  {
    std::unique_lock guard(lock_);
    entries_.emplace_back(id, socket);
  }
  return !cancelled_.contains(id);
}

void TransferSocketTable::unregisterTransferSocket(const std::string& id, const LanChannel* socket) {
  std::unique_lock guard(lock_);
  std::erase_if(entries_, [&](const auto& e) { return e.first == id && e.second == socket; });
}

void TransferSocketTable::cancelTransfer(const std::string& id) {
  cancelled_.mark(id);
  std::shared_lock guard(lock_);
  for (const auto& [entryId, socket] : entries_) {
    if (entryId == id && socket) socket->shutdownBoth();
  }
}

std::shared_ptr<TransferSocketTable> transferSockets() {
  static const auto table = std::make_shared<TransferSocketTable>();
  return table;
}
