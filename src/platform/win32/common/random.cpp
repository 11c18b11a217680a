// The system-preferred random generator; no provider to open.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>

#include "common/random.h"

bool randomBytes(std::span<unsigned char> out) {
  while (!out.empty()) {
    const std::size_t n = std::min<std::size_t>(out.size(), 1u << 30);
    if (::BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(n), BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
      return false;
    }
    out = out.subspan(n);
  }
  return true;
}
