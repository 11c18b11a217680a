// The server's reading of a request head: the request line classification, the resume index
// and the client's reading of an answer's status, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lan/LanProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const LanRequest request = parseLanRequest(bytes);
  if (request.kind == LanRequestKind::Stream || request.kind == LanRequestKind::Ping) {
    if (!isLanId(request.id)) std::abort();
  }
  if (request.id.size() > kLanIdLength) std::abort();
  // Whatever "from" says, the stream length never wraps past the offer's size.
  for (std::uint64_t e : {std::uint64_t{0}, std::uint64_t{33}, std::uint64_t{1048641}, ~std::uint64_t{0}}) {
    if (lanStreamLength(e, request.from) > e) std::abort();
  }
  (void)lanAnswerStatus(bytes);
  (void)isPeerUrl(bytes);
  return 0;
}
