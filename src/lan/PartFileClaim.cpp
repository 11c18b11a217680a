#include "lan/PartFileClaim.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

namespace {
struct Claims {
  std::mutex lock;
  std::vector<std::filesystem::path> paths;
};
// Never destroyed: a worker may still give its claim back while the process exits.
Claims& claims() {
  static Claims* all = new Claims;
  return *all;
}
}  // namespace

PartFileClaim PartFileClaim::take(std::filesystem::path path) {
  PartFileClaim claim;
  Claims& all = claims();
  std::lock_guard guard(all.lock);
  if (std::find(all.paths.begin(), all.paths.end(), path) != all.paths.end()) return claim;
  all.paths.push_back(path);
  claim.path_ = std::move(path);
  claim.owns_ = true;
  return claim;
}

PartFileClaim& PartFileClaim::operator=(PartFileClaim&& other) noexcept {
  if (this != &other) {
    release();
    path_ = std::move(other.path_);
    owns_ = std::exchange(other.owns_, false);
  }
  return *this;
}

void PartFileClaim::release() {
  if (!owns_) return;
  owns_ = false;
  Claims& all = claims();
  std::lock_guard guard(all.lock);
  const auto it = std::find(all.paths.begin(), all.paths.end(), path_);
  if (it != all.paths.end()) all.paths.erase(it);
}
