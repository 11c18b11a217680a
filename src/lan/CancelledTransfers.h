#pragma once
// The transfer ids the page cancelled: a transfer of such an id gives up, and its outcome is
// "gone", until the page asks for the id again. Any thread.
#include <shared_mutex>
#include <string>
#include <vector>

class CancelledTransfers {
 public:
  void mark(const std::string& id);
  void clear(const std::string& id);
  bool contains(const std::string& id) const;

 private:
  mutable std::shared_mutex lock_;
  std::vector<std::string> ids_;
};
