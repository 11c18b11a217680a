#include "lan/LanChannel.h"

#include <algorithm>

bool LanChannel::sendAll(std::string_view bytes, std::size_t piece) {
  while (!bytes.empty()) {
    const long n = send(bytes.data(), std::min(bytes.size(), piece));
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}
