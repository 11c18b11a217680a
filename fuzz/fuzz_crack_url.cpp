// Arbitrary text as an address: the cracker never fails, and what it accepts has the shape
// it promises: a lower-case http or https scheme, a non-empty lower-case host, a path that is
// empty or starts with "/", extra that is empty or starts with "?" or "#", and nothing lost.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/url.h"

namespace {

void check(WStringView url) {
  const ParsedUrl u = crackUrl(url);
  if (!u.valid) {
    // Refused, or cracked without a host.
    if (!u.host.empty()) std::abort();
    return;
  }
  if (u.scheme != DESK_W("http") && u.scheme != DESK_W("https")) std::abort();
  if (u.host.empty() || lowerWide(u.host) != u.host) std::abort();
  if (!u.path.empty() && u.path.front() != WChar('/')) std::abort();
  if (!u.extra.empty() && u.extra.front() != WChar('?') && u.extra.front() != WChar('#')) std::abort();
  if (u.path.find_first_of(DESK_W("?#")) != WString::npos) std::abort();
  if (u.host.find_first_of(DESK_W("/?#@")) != WString::npos) std::abort();
  // Path and extra are the address's tail exactly as written.
  const WString tail = u.path + u.extra;
  if (url.size() < tail.size() || url.substr(url.size() - tail.size()) != tail) std::abort();
  // The parts put back together crack to the same result.
  WString again = u.scheme + DESK_W("://") + u.host + DESK_W(":");
  for (char c : std::to_string(u.port)) again.push_back(static_cast<WChar>(c));
  again += tail;
  const ParsedUrl v = crackUrl(again);
  if (!v.valid || v.host != u.host || v.port != u.port || v.path != u.path || v.extra != u.extra) {
    std::abort();
  }
  if (isLocalHost(u) != (u.host == DESK_W("localhost") || u.host == DESK_W("127.0.0.1") ||
                         u.host == DESK_W("[::1]"))) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check(toWide(bytes));
  // Also as raw 16-bit units, so unpaired surrogates and odd characters reach the cracker.
  WString units;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    units.push_back(static_cast<WChar>(data[i] | (data[i + 1] << 8)));
  }
  check(units);
  return 0;
}
