#include "lan/LanAddresses.h"

#include <algorithm>

#include "lan/LanProtocol.h"

std::vector<std::string> privateAddressesOf(const std::vector<std::string>& addresses) {
  std::vector<std::string> out;
  for (const auto& a : addresses) {
    if (a.size() > 64 || !isPrivateIPv4(a)) continue;
    if (std::find(out.begin(), out.end(), a) == out.end()) out.push_back(a);
  }
  return out;
}

std::vector<std::string> privateAddressesOf(const std::vector<LanAdapter>& adapters) {
  std::vector<std::string> ordered;
  for (bool gateway : {true, false}) {
    for (const LanAdapter& adapter : adapters) {
      if (adapter.defaultGateway != gateway || adapter.hostOnly) continue;
      ordered.insert(ordered.end(), adapter.ipv4.begin(), adapter.ipv4.end());
    }
  }
  return privateAddressesOf(ordered);
}

std::vector<std::string> localLanAddresses() { return privateAddressesOf(lanAdapters()); }
