#include "engine/parallel/host_limiter.h"

#include <algorithm>
#include <utility>

#include "text/ascii_text.h"

namespace movrek {

THostCapacity SameCapacityForAll(int perHost) {
  return [perHost](const std::string& /*host*/) { return perHost; };
}

bool THostLimiter::HasRoom(const std::string& host) const {
  const auto found = in_use_.find(host);
  return found == in_use_.end() || found->second < std::max(1, capacity_(host));
}

void THostLimiter::Acquire(const std::string& host) {
  ++in_use_[host];
}

void THostLimiter::Release(const std::string& host) {
  const auto found = in_use_.find(host);
  if (found != in_use_.end() && --found->second <= 0) {
    in_use_.erase(found);
  }
}

std::string HostOfAddress(const std::string& address) {
  std::size_t begin = address.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  std::size_t end = address.find_first_of("/?#", begin);
  if (end == std::string::npos) {
    end = address.size();
  }
  std::string host = address.substr(begin, end - begin);
  // RFC 3986 section 3.2.1: user information is not part of the host.
  const std::size_t at = host.rfind('@');
  if (at != std::string::npos) {
    host.erase(0, at + 1);
  }
  host = AsciiLower(std::move(host));
  // "h" and "h:80" are the same server; a colon inside brackets belongs to
  // an IPv6 address.
  const std::size_t colon = host.rfind(':');
  const std::size_t bracket = host.rfind(']');
  if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket)) {
    const bool tls = address.size() >= 8 && (address[4] == 's' || address[4] == 'S');
    host += tls ? ":443" : ":80";
  }
  return host;
}

}  // namespace movrek
