#include "lan/LanPartStore.h"

#include <algorithm>
#include <system_error>

namespace {

constexpr auto kReadWrite = std::ios::in | std::ios::out | std::ios::binary;
constexpr std::size_t kWritePiece = 65536;

}  // namespace

std::uint64_t LanPartFile::prepare() {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path_, ec)) {
    std::ofstream create(path_, std::ios::binary);
  }
  const std::uint64_t size = std::filesystem::file_size(path_, ec);
  return ec ? 0 : size;
}

bool LanPartFile::openAt(std::uint64_t bytes) {
  if (file_.is_open()) file_.close();
  file_.clear();
  std::error_code ec;
  // Only when something must go: on ext4 a truncation to zero makes the later close start
  // write-back of the whole file, which the transfer would then wait for.
  if (std::filesystem::file_size(path_, ec) != bytes || ec) std::filesystem::resize_file(path_, bytes, ec);
  file_.open(path_, kReadWrite);
  file_.seekp(0, std::ios::end);
  return !file_.fail() && !file_.bad();
}

bool LanPartFile::append(const char* data, std::size_t size) {
  // In pieces the size of a cache's worth, each starting on a page boundary: the page cache
  // takes them faster than one big copy.
  for (std::size_t at = 0; at < size && file_; at += kWritePiece) {
    file_.write(data + at, static_cast<std::streamsize>(std::min(kWritePiece, size - at)));
  }
  // A short last piece would otherwise wait in the stream's buffer, and a disk that refuses it
  // would only say so at the close.
  if (file_) file_.flush();
  return static_cast<bool>(file_);
}

bool LanPartFile::close() {
  if (!file_.is_open()) return true;
  file_.flush();
  file_.close();
  return !file_.fail();
}
