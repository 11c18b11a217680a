#pragma once
// One transfer at a time per part file: a claim holds its path for the whole process, and a
// second claim of a claimed path fails. Any thread.
#include <filesystem>

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
  bool owns() const { return owns_; }
  void release();  // gives the path back early

 private:
  std::filesystem::path path_;
  bool owns_ = false;
};
