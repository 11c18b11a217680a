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

std::vector<std::string> localLanAddresses() { return privateAddressesOf(adapterIPv4Addresses()); }
