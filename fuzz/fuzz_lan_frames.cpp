// The record opener on arbitrary bytes: it must never crash, never write more than the stated
// total, and never hold more than one record's worth of pending bytes.
//
// Input: 4 bytes of total (big-endian, capped at 3 MiB), 1 byte choosing how the rest is split
// into pieces, then the stream. The key is fixed, so the corpus can hold valid records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>

#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"

namespace {

constexpr const char* kKey = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

std::filesystem::path partFile() {
  static const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("fuzz-lan-frames-" + std::to_string(std::random_device{}()) + ".part");
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  std::uint64_t total = (std::uint64_t{data[0]} << 24) | (std::uint64_t{data[1]} << 16) |
                        (std::uint64_t{data[2]} << 8) | data[3];
  total = total % (3 * kLanRecordPlain) + 1;
  const std::size_t piece = std::size_t{data[4]} * 97 + 1;
  std::string_view stream(reinterpret_cast<const char*>(data + 5), size - 5);
  std::error_code ec;
  std::filesystem::remove(partFile(), ec);
  {
    LanFrames frames(kKey, partFile(), total);
    if (!frames.ready) std::abort();
    while (!stream.empty()) {
      const std::size_t n = std::min(piece, stream.size());
      const bool ok = frames.feed(stream.substr(0, n));
      stream.remove_prefix(n);
      if (frames.received > frames.total || frames.pendingBytes > kLanRecordSpan || frames.pending.size() != kLanRecordSpan) std::abort();
      if (!ok) break;
    }
    frames.close();
    if (std::filesystem::file_size(partFile(), ec) != frames.received) std::abort();
  }
  std::filesystem::remove(partFile(), ec);
  return 0;
}
