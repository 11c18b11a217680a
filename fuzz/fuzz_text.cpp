// Arbitrary bytes and 16-bit units through the conversions: whatever converts comes back
// unchanged, and lower-casing touches A-Z only.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const WString wide = toWide(bytes);
  if (!bytes.empty() && !wide.empty() && toNarrow(wide) != bytes) std::abort();
  if (wide.size() > bytes.size()) std::abort();

  WString units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<WChar>(data[i] | (data[i + 1] << 8)));
  }
  const std::string narrow = toNarrow(units);
  if (!narrow.empty() && toWide(narrow) != units) std::abort();
  const WString lower = lowerWide(units);
  if (lower.size() != units.size()) std::abort();
  for (std::size_t i = 0; i < units.size(); ++i) {
    const WChar c = units[i];
    const WChar want = (c >= WChar('A') && c <= WChar('Z')) ? static_cast<WChar>(c + 32) : c;
    if (lower[i] != want) std::abort();
  }
  return 0;
}
