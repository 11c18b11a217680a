#pragma once
// The machine's private IPv4 addresses, for the page to hand to its peers.
#include <string>
#include <vector>

// One adapter as the platform reports it: up and not a loop-back.
struct LanAdapter {
  std::vector<std::string> ipv4;  // its IPv4 unicast addresses as dotted text
  bool defaultGateway = false;    // traffic for other networks leaves through it
  bool hostOnly = false;          // virtual, reaching only this machine's guests (Hyper-V, WSL)
};

// What the platform reports, in adapter order.
std::vector<LanAdapter> lanAdapters();

// The private addresses another device can reach, each once: adapters with a default gateway
// first (the network the user is on), host-only adapters left out, else in adapter order.
std::vector<std::string> localLanAddresses();
std::vector<std::string> privateAddressesOf(const std::vector<LanAdapter>& adapters);
std::vector<std::string> privateAddressesOf(const std::vector<std::string>& addresses);
