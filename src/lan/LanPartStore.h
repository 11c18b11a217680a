#pragma once
// Where a transfer's opened plaintext is kept: the part file in the shell, memory when the record
// stream is fuzzed. Only whole records are appended, in order, so the size it holds names the
// resume point.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

class LanPartStore {
 public:
  virtual ~LanPartStore() = default;
  // The bytes held now, after creating an empty store where there was none (0 when unreadable).
  virtual std::uint64_t prepare() = 0;
  // Keeps the first `bytes` and opens for appending after them; false when it cannot be written.
  virtual bool openAt(std::uint64_t bytes) = 0;
  // False when the bytes were refused (full disk, file gone); nothing is appended after that.
  virtual bool append(const char* data, std::size_t size) = 0;
  // Flushes and closes; false when that failed (the store may then be short).
  virtual bool close() = 0;
};

class LanPartFile final : public LanPartStore {
 public:
  explicit LanPartFile(std::filesystem::path path) : path_(std::move(path)) {}
  std::uint64_t prepare() override;
  bool openAt(std::uint64_t bytes) override;
  bool append(const char* data, std::size_t size) override;
  bool close() override;

 private:
  std::filesystem::path path_;
  std::fstream file_;
};
