// Caps the transfers to one host that run at once, so that a list of many
// pages of one site does not open a crowd of connections to it. It never
// waits: whoever owns it looks for a host with room and guards it with its
// own lock.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>

namespace movrek {

struct TRequestUrl;

// How many transfers `host` may take at once. Not a constant: a server that
// carries many requests on one connection can take more of them than one
// that needs a connection for each.
using THostCapacity = std::function<int(const std::string& host)>;

// `perHost` for every host.
THostCapacity SameCapacityForAll(int perHost);

class THostLimiter {
 public:
  explicit THostLimiter(THostCapacity capacity) : capacity_(std::move(capacity)) {}

  // One more transfer to `host` would stay within its capacity (at least
  // one, whatever the capacity says, or its lines would never run).
  bool HasRoom(const std::string& host) const;
  // Counts a transfer to `host`; HasRoom said there was room.
  void Acquire(const std::string& host);
  void Release(const std::string& host);

 private:
  const THostCapacity capacity_;
  std::map<std::string, int> in_use_;  // only hosts with a transfer
};

// The key of a server: its host in lower case (an IPv6 address in brackets,
// an international name in its ASCII form) and its port, "h:80" for
// "http://H/". Limits, schedules and pooled connections all go by it.
std::string HostOfParts(const TRequestUrl& parts);
// The key of the host an address is fetched from first; redirects to other
// hosts count against the first one. An address no request could be made
// of is its own key.
std::string HostOfAddress(const std::string& address);

}  // namespace movrek
