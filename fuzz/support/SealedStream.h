#pragma once
// Whole, valid record streams for the fuzz targets, so whole 1 MiB records and good tags occur
// without the corpus having to hold megabytes: the file is a fixed pattern, its records are
// sealed with the fixed key from a chosen index on, and the input then edits the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/gcm.h"
#include "common/records.h"
#include "lan/LanProtocol.h"

namespace fuzzing {

inline constexpr const char* kKey = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
inline constexpr std::uint64_t kMaxTotal = 3 * kLanRecordPlain + 65535;

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

// What an earlier attempt left in the part file, into `out`: `existing` bytes of the file, those
// past the total being junk the frames must cut away.
inline void earlierPart(std::uint64_t total, std::uint64_t existing, std::string& out) {
  out.assign(std::string_view(pattern()).substr(0, std::min(total, existing)));
  if (existing > total) out.append(existing - total, 'x');
}

// True when `bytes` are the file's first bytes, as everything the frames store must be.
inline bool isFilePrefix(const std::string& bytes) {
  return bytes.size() <= pattern().size() && std::string_view(pattern()).substr(0, bytes.size()) == bytes;
}

// A file size from 3 input bytes: 0 to 3 full records and a tail of 0 to 65,535 bytes, so the
// edges around whole records come up as often as anything else (0 when both are 0).
inline std::uint64_t totalFrom(const std::uint8_t* p) {
  return (p[0] & 3) * kLanRecordPlain + readBigEndian(p + 1, 2);
}

// The stream a sender answers for `total` bytes from record `from` on, into `out`. Full records
// are sealed once and kept, and only the short last one is sealed per call; the callers keep
// `out` from one input to the next. Sealing, allocating and faulting in megabytes for every
// input would leave little time for the code under test.
inline void sealedStream(std::uint64_t total, std::uint32_t from, std::string& out) {
  static const auto key = openGcmKey(kKey);
  static std::string full[4];
  out.clear();
  out.reserve(lanEncryptedSize(kMaxTotal));
  std::uint64_t index = from;
  for (; (index + 1) * kLanRecordPlain <= total; ++index) {
    if (full[index].empty()) {
      sealRecordInto(*key, static_cast<std::uint32_t>(index),
                     std::string_view(pattern()).substr(index * kLanRecordPlain, kLanRecordPlain), full[index]);
    }
    out += full[index];
  }
  if (index * kLanRecordPlain < total) {
    const std::uint64_t at = index * kLanRecordPlain;
    sealRecordInto(*key, static_cast<std::uint32_t>(index), std::string_view(pattern()).substr(at, total - at), out);
  }
}

// Applies up to 8 edits of 4 bytes each to `stream`, into `out`: 3 bytes of position (scaled to
// the stream) and 1 of operation: flip a bit, cut the stream there, drop a byte, or repeat the
// 4,096 bytes from there. Positions count in the unedited stream, and the result is made in one
// pass.
inline void editStream(std::string_view stream, std::string_view edits, std::string& out) {
  struct Edit {
    std::size_t at;
    std::uint8_t op;
  };
  std::vector<Edit> list;
  for (edits = edits.substr(0, 32); edits.size() >= 4 && !stream.empty(); edits.remove_prefix(4)) {
    const auto* e = reinterpret_cast<const std::uint8_t*>(edits.data());
    list.push_back({static_cast<std::size_t>(readBigEndian(e, 3) * stream.size() >> 24), e[3]});
  }
  std::stable_sort(list.begin(), list.end(), [](const Edit& a, const Edit& b) { return a.at < b.at; });
  out.clear();
  out.reserve(stream.size() + 8 * 4096);
  std::size_t cursor = 0;
  for (const Edit& e : list) {
    if (e.at < cursor) continue;  // that byte was already flipped or dropped
    out.append(stream.substr(cursor, e.at - cursor));
    cursor = e.at;
    switch (e.op & 3) {
      case 0: out += static_cast<char>(stream[cursor++] ^ (1 << (e.op >> 5))); break;
      case 1: return;
      case 2: ++cursor; break;
      case 3: out.append(stream.substr(cursor, 4096)); break;
    }
  }
  out.append(stream.substr(cursor));
}

}  // namespace fuzzing
