// A fetch's whole exchange over one connection on what a hostile or broken peer answers: the
// request, the gathering of the answer head, its status and length, and the record opener on
// arbitrary and on edited valid streams. Nothing may crash or hang; the request is exactly the
// fetch head from the resume point; the result is one of the four codes and says complete
// exactly when the whole file is stored; only whole opened records of the file's own bytes are
// stored, never past the total, with never more than one record pending; a proper answer with
// the whole stream is complete.
//
// Input: 1 byte choosing the size of the pieces the answer arrives in, 3 bytes of total
// (fuzz/support/SealedStream.h), 1 byte of flags (1: the body is the sealed stream edited by the
// rest, else the rest itself; 2: a proper 200 head with the right length, else the head is the
// input up to its first zero byte; 4: check the answered length; 8 and 16: what an earlier
// attempt left in the part file: nothing, a record, a record and a bit, the file and junk), then
// the head and the body or edits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "lan/LanFetch.h"
#include "lan/LanFrames.h"
#include "lan/LanProtocol.h"
#include "support/MemoryChannel.h"
#include "support/MemoryPartStore.h"
#include "support/SealedStream.h"

using namespace fuzzing;

namespace {

constexpr const char* kId = "0123456789abcdef0123456789abcdef";
constexpr const char* kHost = "10.0.0.2";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::size_t piece = data[0] < 128 ? std::size_t{data[0]} * 61 + 1 : std::size_t(data[0] - 127) * (data[0] - 127) * 67;
  const std::uint64_t total = totalFrom(data + 1);
  if (total == 0) return 0;
  const std::uint8_t flags = data[4];
  const bool built = (flags & 1) != 0;
  const bool properHead = (flags & 2) != 0;
  const std::uint64_t earlier[] = {0, kLanRecordPlain, kLanRecordPlain + 4000, total + 5000};
  // Kept from one input to the next, as their room is (support/SealedStream.h).
  static auto part = std::make_shared<std::string>();
  static std::string sealed;
  static std::string body;
  static std::string answer;
  part->reserve(kMaxTotal + kLanRecordPlain);
  earlierPart(total, earlier[(flags >> 3) & 3], *part);
  std::string_view rest(reinterpret_cast<const char*>(data + 5), size - 5);

  LanFrames frames(kKey, std::make_unique<MemoryPartStore>(part), total);
  // Only whole records of what was there are kept, and the fetch resumes after them.
  if (!frames.ready || (frames.received % kLanRecordPlain != 0 && frames.received != total)) std::abort();
  const std::uint32_t from = frames.nextIndex;
  answer.clear();
  if (properHead) {
    answer += "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
             std::to_string(lanStreamLength(lanEncryptedSize(total), from)) + "\r\n\r\n";
  } else {
    const std::size_t zero = rest.find('\0');
    answer += rest.substr(0, zero);
    rest.remove_prefix(zero == std::string_view::npos ? rest.size() : zero + 1);
  }
  if (built) {
    sealedStream(total, from, sealed);
    editStream(sealed, rest, body);
    answer += body;
  } else {
    answer += rest;
  }

  MemoryChannel channel(answer, piece);
  std::uint64_t seen = frames.received;
  LanFetchReport report;
  LanFetchOptions options;
  options.checkLength = (flags & 4) != 0;
  options.report = &report;
  options.progress = [&](std::uint64_t received) {
    if (received < seen || received > total || frames.pendingBytes > kLanRecordSpan) std::abort();
    seen = received;
  };
  using enum LanResult;
  const LanResult result = fetchOverChannel(channel, kId, kHost, frames, options);

  if (channel.sent != lanFetchHead(kId, from, kHost)) std::abort();
  if (result != Complete && result != Incomplete && result != Gone && result != Broken) std::abort();
  if ((result == Complete) != (frames.received == total && report.failure == LanFailure::None)) std::abort();
  if (!frames.close() || part->size() != frames.received || (built && !isFilePrefix(*part))) std::abort();
  if (built && properHead && rest.size() < 4 && result != Complete) std::abort();
  return 0;
}
