#include "lan/TransferSocketTable.h"

#include <algorithm>
#include <mutex>

#include "lan/LanChannel.h"

bool TransferSocketTable::registerTransferSocket(const std::string& id, const LanChannel* socket) {
  std::unique_lock guard(lock_);
  entries_.emplace_back(id, socket);
  return std::find(cancelled_.begin(), cancelled_.end(), id) == cancelled_.end();
}

void TransferSocketTable::unregisterTransferSocket(const std::string& id, const LanChannel* socket) {
  std::unique_lock guard(lock_);
  std::erase_if(entries_, [&](const auto& e) { return e.first == id && e.second == socket; });
}

void TransferSocketTable::clearCancelledTransfer(const std::string& id) {
  std::unique_lock guard(lock_);
  std::erase(cancelled_, id);
}

void TransferSocketTable::cancelTransfer(const std::string& id) {
  std::unique_lock guard(lock_);
  if (std::find(cancelled_.begin(), cancelled_.end(), id) == cancelled_.end()) {
    cancelled_.push_back(id);
  }
  for (const auto& [entryId, socket] : entries_) {
    if (entryId == id && socket) socket->shutdownBoth();
  }
}

bool TransferSocketTable::isCancelled(const std::string& id) const {
  std::shared_lock guard(lock_);
  return std::find(cancelled_.begin(), cancelled_.end(), id) != cancelled_.end();
}

bool TransferSocketTable::claimPartFile(const std::filesystem::path& path) {
  std::unique_lock guard(lock_);
  if (std::find(claimed_.begin(), claimed_.end(), path) != claimed_.end()) return false;
  claimed_.push_back(path);
  return true;
}

void TransferSocketTable::releasePartFile(const std::filesystem::path& path) {
  std::unique_lock guard(lock_);
  const auto it = std::find(claimed_.begin(), claimed_.end(), path);
  if (it != claimed_.end()) claimed_.erase(it);
}

std::shared_ptr<TransferSocketTable> transferSockets() {
  static const auto table = std::make_shared<TransferSocketTable>();
  return table;
}

PartFileClaim PartFileClaim::take(std::shared_ptr<TransferSocketTable> table,
                                  std::filesystem::path path) {
  PartFileClaim claim;
  if (table && table->claimPartFile(path)) {
    claim.table_ = std::move(table);
    claim.path_ = std::move(path);
  }
  return claim;
}

PartFileClaim& PartFileClaim::operator=(PartFileClaim&& other) noexcept {
  if (this != &other) {
    release();
    table_ = std::move(other.table_);
    path_ = std::move(other.path_);
    other.table_.reset();
  }
  return *this;
}

void PartFileClaim::release() {
  if (table_) table_->releasePartFile(path_);
  table_.reset();
}
