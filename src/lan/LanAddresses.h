#pragma once
// The machine's private IPv4 addresses, for the page to hand to its peers.
#include <string>
#include <vector>

// What the platform reports: the IPv4 unicast addresses of every adapter that is up and is not
// a loop-back, in adapter order, as dotted text (repeats and public addresses included).
std::vector<std::string> adapterIPv4Addresses();

// The private ones among them, in adapter order, each once.
std::vector<std::string> localLanAddresses();
std::vector<std::string> privateAddressesOf(const std::vector<std::string>& addresses);
