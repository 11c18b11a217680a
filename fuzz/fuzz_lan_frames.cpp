// The record opener on arbitrary and on edited valid streams: it must never crash, never store
// more than the stated total or anything but whole opened records, never hold more than one
// record's worth of pending bytes, and take a whole valid stream whole.
//
// Input: 1 byte unused, 3 bytes of total (fuzz/support/SealedStream.h), 1 byte choosing the size of the pieces
// the stream arrives in, 1 byte of mode. Mode even: the rest is the stream. Mode odd: 3 bytes
// choose how much an earlier attempt left in the part file, and the rest edits the sealed
// stream of the file from the resume point on (fuzz/support/SealedStream.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "support/MemoryPartStore.h"
#include "support/SealedStream.h"

using namespace fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 6) return 0;
  const std::uint64_t total = totalFrom(data + 1);
  if (total == 0) return 0;
  const std::size_t piece = data[4] < 128 ? std::size_t{data[4]} * 97 + 1 : std::size_t(data[4] - 127) * (data[4] - 127) * 67;
  const bool built = (data[5] & 1) != 0;
  if (built && size < 9) return 0;
  // Kept from one input to the next, as their room is (support/SealedStream.h).
  static auto part = std::make_shared<std::string>();
  static std::string sealed;
  static std::string stream;
  part->reserve(kMaxTotal + kLanRecordPlain);
  earlierPart(total, built ? readBigEndian(data + 6, 3) * (total + kLanRecordPlain) >> 24 : 0, *part);
  const std::string_view rest(reinterpret_cast<const char*>(data + (built ? 9 : 6)), size - (built ? 9 : 6));

  LanFrames frames(kKey, std::make_unique<MemoryPartStore>(part), total);
  if (!frames.ready || (frames.received % kLanRecordPlain != 0 && frames.received != total)) std::abort();
  if (built) {
    sealedStream(total, frames.nextIndex, sealed);
    editStream(sealed, rest, stream);
  } else {
    stream.assign(rest);
  }
  bool whole = true;
  for (std::string_view left = stream; !left.empty();) {
    // As a connection in memory hands them out (support/MemoryChannel.h).
    const std::size_t n = std::min(std::max(piece, left.size() / 64), left.size());
    whole = frames.feed(left.substr(0, n));
    left.remove_prefix(n);
    if (frames.received > frames.total || frames.pendingBytes > kLanRecordSpan || frames.pending.size() != kLanRecordSpan) std::abort();
    if (!whole) break;
  }
  if (!frames.close() || part->size() != frames.received) std::abort();
  if (built && !isFilePrefix(*part)) std::abort();
  // An unedited stream is taken whole.
  if (built && rest.size() < 4 && (!whole || frames.received != total)) std::abort();
  return 0;
}
