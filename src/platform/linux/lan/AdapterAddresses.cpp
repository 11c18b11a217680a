// Adapter addresses from getifaddrs: IPv4 entries of interfaces that are up and not loop-back,
// in the order the system lists them, and which of them carries the default route
// (/proc/net/route). Linux marks no interface as host-only; bridges to guests keep their place.
#include "lan/LanAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

std::set<std::string> defaultRouteInterfaces() {
  std::set<std::string> names;
  std::ifstream routes("/proc/net/route");
  std::string line;
  std::getline(routes, line);  // the column names
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string name, destination;
    if (fields >> name >> destination && destination == "00000000") names.insert(name);
  }
  return names;
}

}  // namespace

std::vector<LanAdapter> lanAdapters() {
  std::vector<LanAdapter> out;
  std::vector<std::string> names;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return out;
  std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> guard(list, &::freeifaddrs);
  const std::set<std::string> gateways = defaultRouteInterfaces();
  for (const ifaddrs* it = list; it; it = it->ifa_next) {
    if (!it->ifa_addr || it->ifa_addr->sa_family != AF_INET || !it->ifa_name) continue;
    if (!(it->ifa_flags & IFF_UP) || (it->ifa_flags & IFF_LOOPBACK)) continue;
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (!::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text)) continue;
    // getifaddrs lists one entry per address; an interface's addresses go together.
    const auto at = std::find(names.begin(), names.end(), it->ifa_name);
    if (at == names.end()) {
      names.emplace_back(it->ifa_name);
      out.push_back({{text}, gateways.count(it->ifa_name) != 0, false});
    } else {
      out[static_cast<std::size_t>(at - names.begin())].ipv4.emplace_back(text);
    }
  }
  return out;
}
