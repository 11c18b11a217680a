#pragma once
// The transfer ids the page cancelled: a transfer of such an id gives up, and its outcome is
// "gone", until the page asks for the id again. Any thread.
#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

class CancelledTransfers {
 public:
  void mark(const std::string& id) {
    std::unique_lock guard(lock_);
    if (std::find(ids_.begin(), ids_.end(), id) == ids_.end()) ids_.push_back(id);
  }
  void clear(const std::string& id) {
    std::unique_lock guard(lock_);
    std::erase(ids_, id);
  }
  bool contains(const std::string& id) const {
    std::shared_lock guard(lock_);
    return std::find(ids_.begin(), ids_.end(), id) != ids_.end();
  }

 private:
  mutable std::shared_mutex lock_;
  std::vector<std::string> ids_;
};
