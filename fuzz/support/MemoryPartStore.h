#pragma once
// A part file held in memory, so the record stream can be fuzzed without touching the disk.
// `bytes` may be filled before the frames take it over, as a part file an earlier attempt left.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "lan/LanPartStore.h"

class MemoryPartStore final : public LanPartStore {
 public:
  explicit MemoryPartStore(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t prepare() override { return bytes_->size(); }
  bool openAt(std::uint64_t size) override {
    bytes_->resize(std::min<std::uint64_t>(size, bytes_->size()));
    return size <= bytes_->size();
  }
  bool append(const char* data, std::size_t size) override {
    bytes_->append(data, size);
    return true;
  }
  bool close() override { return true; }

 private:
  std::shared_ptr<std::string> bytes_;
};
