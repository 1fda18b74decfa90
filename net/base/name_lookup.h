// Host names to addresses through c-ares, so that a lookup can be stopped:
// the system resolver call blocks until its own time-out, whatever the
// caller wants. The host table (/etc/hosts) is read first, then the name
// servers of /etc/resolv.conf are asked.
//
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "net/base/socket_api.h"

namespace movrek {

// The name servers a lookup asks instead of those of /etc/resolv.conf (the
// host table is still read first).
struct TNameServers {
  // "ADDRESS[:PORT]" items separated by commas, an IPv6 address in brackets
  // when a port follows; empty: the system's name servers.
  std::string Addresses;
  // With Addresses: one try of this many milliseconds; 0: the defaults.
  int TimeoutMs = 0;
};

// True when text is such a list: at least one item, each an IPv4 address
// or an IPv6 address (in brackets with a port), the port 1 to 65535.
bool IsNameServerList(const std::string& text);

// Fills found (cleared first) with the addresses of a host name in the
// family asked for (AF_INET, AF_INET6 or AF_UNSPEC), ports zero, in the
// resolver's order. Waits in slices of at most kNameLookupSliceMs and gives
// up as soon as *stop (when given) reads true. Returns a getaddrinfo result
// code: 0, EAI_NONAME (no such name or no address of that family),
// EAI_AGAIN (no server answered in time, or it failed), EAI_MEMORY,
// EAI_FAIL (any other failure) or EAI_CANCELED (stopped).
// servers, when given and not empty, are asked instead of the system's.
int LookupHostName(const std::string& name, int family, std::vector<TSockAddrAny>& found,
                   const std::atomic<bool>* stop, const TNameServers* servers = nullptr);

}  // namespace movrek
