// Host names to addresses through c-ares, so that a lookup can be stopped:
// the system resolver call blocks until its own time-out, whatever the
// caller wants. The host table (/etc/hosts) is read first, then the name
// servers of /etc/resolv.conf are asked.
//
// Test hook: when the environment variable MOVREK_TEST_DNS_SERVER holds
// "ADDRESS:PORT" (for example "127.0.0.1:5353"), that server is asked
// instead of the system's, and MOVREK_TEST_DNS_TIMEOUT_MS, when set, is its
// time-out for one try (one try only). Both are read when a lookup starts;
// nothing else in the program reads them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "net/base/socket_api.h"

namespace movrek {

// Fills found (cleared first) with the addresses of a host name in the
// family asked for (AF_INET, AF_INET6 or AF_UNSPEC), ports zero, in the
// resolver's order. Waits in slices of at most kNameLookupSliceMs and gives
// up as soon as *stop (when given) reads true. Returns a getaddrinfo result
// code: 0, EAI_NONAME (no such name or no address of that family),
// EAI_AGAIN (no server answered in time, or it failed), EAI_MEMORY,
// EAI_FAIL (any other failure) or EAI_CANCELED (stopped).
int LookupHostName(const std::string& name, int family, std::vector<TSockAddrAny>& found,
                   const std::atomic<bool>* stop);

}  // namespace movrek
