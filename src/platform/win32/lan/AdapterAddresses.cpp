// Adapter addresses from the IP Helper (GetAdaptersAddresses): IPv4 unicast entries of adapters
// that are operationally up and not loop-back, in the order the system lists them, with their
// gateways; an adapter that is no hardware interface (GetIfEntry2) and has no gateway is a
// host-only switch (Hyper-V, WSL) another device cannot reach. Links against iphlpapi.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include "lan/LanAddresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <netioapi.h>

#include <cstdint>
#include <initializer_list>
#include <utility>

namespace {

bool hardwareInterface(const NET_LUID& luid) {
  MIB_IF_ROW2 row{};
  row.InterfaceLuid = luid;
  // Unknown counts as hardware: an address is better offered than lost.
  return ::GetIfEntry2(&row) != NO_ERROR || row.InterfaceAndOperStatusFlags.HardwareInterface;
}

}  // namespace

std::vector<LanAdapter> lanAdapters() {
  std::vector<LanAdapter> out;
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_INCLUDE_GATEWAYS;
  // The list is written into caller memory; 8-byte elements keep its 64-bit fields aligned. The
  // size asked for can grow between two calls when an adapter appears, hence a few tries.
  ULONG size = 16384;
  std::vector<std::uint64_t> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.assign(size / sizeof(std::uint64_t) + 1, 0);
    size = static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t));
    result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return out;
  for (const IP_ADAPTER_ADDRESSES* adapter =
           reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data());
       adapter; adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
    LanAdapter found;
    found.defaultGateway = adapter->FirstGatewayAddress != nullptr;
    found.hostOnly = !found.defaultGateway && !hardwareInterface(adapter->Luid);
    for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast;
         unicast = unicast->Next) {
      const SOCKADDR* sa = unicast->Address.lpSockaddr;
      if (!sa || sa->sa_family != AF_INET) continue;
      // An address another host already holds reaches that host, not this one.
      if (unicast->DadState == IpDadStateInvalid || unicast->DadState == IpDadStateDuplicate) {
        continue;
      }
      const IN_ADDR& in = reinterpret_cast<const sockaddr_in*>(sa)->sin_addr;
      std::string text;
      for (const unsigned char octet : {in.S_un.S_un_b.s_b1, in.S_un.S_un_b.s_b2,
                                        in.S_un.S_un_b.s_b3, in.S_un.S_un_b.s_b4}) {
        if (!text.empty()) text += '.';
        text += std::to_string(octet);
      }
      found.ipv4.push_back(std::move(text));
    }
    if (!found.ipv4.empty()) out.push_back(std::move(found));
  }
  return out;
}
