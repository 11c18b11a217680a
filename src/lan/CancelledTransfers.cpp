#include "lan/CancelledTransfers.h"

#include <algorithm>
#include <mutex>

void CancelledTransfers::mark(const std::string& id) {
  std::unique_lock guard(lock_);
  if (std::find(ids_.begin(), ids_.end(), id) == ids_.end()) ids_.push_back(id);
}

void CancelledTransfers::clear(const std::string& id) {
  std::unique_lock guard(lock_);
  std::erase(ids_, id);
}

bool CancelledTransfers::contains(const std::string& id) const {
  std::shared_lock guard(lock_);
  return std::find(ids_.begin(), ids_.end(), id) != ids_.end();
}
