#pragma once
// One transfer at a time per part file: a claim holds the path for the process, and a second
// claim of a claimed path fails. The claims are shared by every thread that takes one
// (a claim keeps them alive, so they outlive their last user).
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

class PartFileClaims {
 public:
  bool claim(const std::filesystem::path& path);
  void release(const std::filesystem::path& path);

 private:
  std::mutex lock_;
  std::vector<std::filesystem::path> claimed_;
};

// Holds a part-file claim and gives it back when destroyed (or released early).
class PartFileClaim {
 public:
  PartFileClaim() = default;
  // Empty (owns() false) when the path is already claimed.
  static PartFileClaim take(std::filesystem::path path);
  ~PartFileClaim() { release(); }
  PartFileClaim(PartFileClaim&& other) noexcept { *this = std::move(other); }
  PartFileClaim& operator=(PartFileClaim&& other) noexcept;
  PartFileClaim(const PartFileClaim&) = delete;
  PartFileClaim& operator=(const PartFileClaim&) = delete;
  bool owns() const { return claims_ != nullptr; }
  void release();

 private:
  std::shared_ptr<PartFileClaims> claims_;
  std::filesystem::path path_;
};
