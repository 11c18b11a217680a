// Adapter addresses from getifaddrs: IPv4 entries of interfaces that are up and not loop-back,
// in the order the system lists them.
#include "lan/LanAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>

std::vector<std::string> adapterIPv4Addresses() {
  std::vector<std::string> out;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(list, &::freeifaddrs);
  for (const ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET) continue;
    if (!(it->ifa_flags & IFF_UP) || (it->ifa_flags & IFF_LOOPBACK)) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) out.emplace_back(text);
  }
  return out;
}
