#pragma once
// Whole, valid record streams for the fuzz targets, so whole 1 MiB records and good tags occur
// without the corpus having to hold megabytes: the file is a fixed pattern, its records are
// sealed with the fixed key from a chosen index on, and the input then edits the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/crypto.h"
#include "lan/LanProtocol.h"

namespace fuzzing {

inline constexpr const char* kKey = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
inline constexpr std::uint64_t kMaxTotal = 3 * kLanRecordPlain;

inline std::uint64_t readBigEndian(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

// The plaintext of every file the streams carry: byte i of the first kMaxTotal.
inline const std::string& pattern() {
  static const std::string bytes = [] {
    std::string s(kMaxTotal, '\0');
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>((i >> 12) ^ (i * 131));
    return s;
  }();
  return bytes;
}

// What an earlier attempt left in the part file: `existing` bytes of the file, those past the
// total being junk the frames must cut away.
inline std::string earlierPart(std::uint64_t total, std::uint64_t existing) {
  std::string part = pattern().substr(0, std::min(total, existing));
  if (existing > total) part.append(existing - total, 'x');
  return part;
}

// True when `bytes` are the file's first bytes, as everything the frames store must be.
inline bool isFilePrefix(const std::string& bytes) {
  return bytes.size() <= pattern().size() && std::string_view(pattern()).substr(0, bytes.size()) == bytes;
}

// The stream a sender answers for `total` bytes from record `from` on. Kept from one call to the
// next: sealing megabytes for every input would leave little time for the code under test.
inline const std::string& sealedStream(std::uint64_t total, std::uint32_t from) {
  static std::uint64_t lastTotal = 0;
  static std::uint32_t lastFrom = 0;
  static std::string stream;
  if (total == lastTotal && from == lastFrom) return stream;
  static const auto key = openGcmKey(kKey);
  stream.clear();
  for (std::uint64_t at = std::uint64_t{from} * kLanRecordPlain, index = from; at < total; at += kLanRecordPlain, ++index) {
    const std::uint64_t n = std::min<std::uint64_t>(kLanRecordPlain, total - at);
    sealRecordInto(*key, static_cast<std::uint32_t>(index), std::string_view(pattern()).substr(at, n), stream);
  }
  lastTotal = total;
  lastFrom = from;
  return stream;
}

// Applies edits of 4 bytes each: 3 bytes of position (scaled to the stream) and 1 of operation:
// flip a bit, cut the stream there, drop a byte, or repeat the 4,096 bytes from there.
inline std::string editStream(std::string stream, std::string_view edits) {
  for (; edits.size() >= 4 && !stream.empty(); edits.remove_prefix(4)) {
    const auto* e = reinterpret_cast<const std::uint8_t*>(edits.data());
    const std::size_t at = static_cast<std::size_t>(readBigEndian(e, 3) * stream.size() >> 24);
    switch (e[3] & 3) {
      case 0: stream[at] = static_cast<char>(stream[at] ^ (1 << (e[3] >> 5))); break;
      case 1: stream.resize(at); break;
      case 2: stream.erase(at, 1); break;
      case 3: stream.insert(at, stream.substr(at, 4096)); break;
    }
  }
  return stream;
}

}  // namespace fuzzing
