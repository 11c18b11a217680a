// Arbitrary text as hexadecimal: the result is empty or exactly half as long, and encoding
// always decodes back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/hex.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Bytes decoded = hexDecode(text);
  if (!decoded.empty() && decoded.size() * 2 != text.size()) std::abort();
  if (size % 2 != 0 && !decoded.empty()) std::abort();
  const std::string encoded = hexEncode(text);
  if (encoded.size() != size * 2 || hexDecode(encoded) != text) std::abort();
  for (char c : encoded) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
  }
  return 0;
}
