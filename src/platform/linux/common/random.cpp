#include <openssl/rand.h>

#include <algorithm>
#include <climits>

#include "common/random.h"

bool randomBytes(std::span<unsigned char> out) {
  while (!out.empty()) {
    const std::size_t n = std::min<std::size_t>(out.size(), INT_MAX);
    if (RAND_bytes(out.data(), static_cast<int>(n)) != 1) return false;
    out = out.subspan(n);
  }
  return true;
}
