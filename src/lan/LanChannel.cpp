#include "lan/LanChannel.h"

#include <algorithm>
#include <chrono>

bool LanChannel::setSendTimeout(int ms) {
  sendLimitMs_ = ms;
  return applySendTimeout(ms);
}

bool LanChannel::sendAll(std::string_view bytes, std::size_t piece) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(sendLimitMs_);
  bool whole = true;
  bool narrowed = false;
  for (bool first = true; whole && !bytes.empty(); first = false) {
    // The first call waits for the whole limit; each later one only for what is left of it.
    if (!first && sendLimitMs_ > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      narrowed = true;
      // 0 would mean no limit at all.
      if (left <= 0 || !applySendTimeout(static_cast<int>(left))) break;
    }
    const long n = send(bytes.data(), std::min(bytes.size(), piece));
    if (n <= 0) whole = false;
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  if (narrowed) applySendTimeout(sendLimitMs_);
  return whole && bytes.empty();
}
