#include "lan/PartFileClaim.h"

#include <algorithm>

namespace {
std::shared_ptr<PartFileClaims> processClaims() {
  static const auto claims = std::make_shared<PartFileClaims>();
  return claims;
}
}  // namespace

bool PartFileClaims::claim(const std::filesystem::path& path) {
  std::lock_guard guard(lock_);
  if (std::find(claimed_.begin(), claimed_.end(), path) != claimed_.end()) return false;
  claimed_.push_back(path);
  return true;
}

void PartFileClaims::release(const std::filesystem::path& path) {
  std::lock_guard guard(lock_);
  const auto it = std::find(claimed_.begin(), claimed_.end(), path);
  if (it != claimed_.end()) claimed_.erase(it);
}

PartFileClaim PartFileClaim::take(std::filesystem::path path) {
  PartFileClaim claim;
  auto claims = processClaims();
  if (claims->claim(path)) {
    claim.claims_ = std::move(claims);
    claim.path_ = std::move(path);
  }
  return claim;
}

PartFileClaim& PartFileClaim::operator=(PartFileClaim&& other) noexcept {
  if (this != &other) {
    release();
    claims_ = std::move(other.claims_);
    path_ = std::move(other.path_);
    other.claims_.reset();
  }
  return *this;
}

void PartFileClaim::release() {
  if (claims_) claims_->release(path_);
  claims_.reset();
}
