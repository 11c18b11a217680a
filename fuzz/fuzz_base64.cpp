// Arbitrary text as Base64: never more than three bytes out per four characters in, and a
// refused text is refused whatever white space is added around it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Bytes decoded = base64Decode(text);
  if (decoded.size() > (size + 3) / 4 * 3) std::abort();
  const Bytes spaced = base64Decode("\r\n " + text + "\t\r\n");
  if (spaced != decoded) std::abort();
  // Padding-free text of a full number of groups decodes to exactly three bytes per group.
  std::string clean;
  for (char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
        c == '/') {
      clean.push_back(c);
    }
  }
  clean.resize(clean.size() / 4 * 4);
  if (base64Decode(clean).size() != clean.size() / 4 * 3) std::abort();
  return 0;
}
