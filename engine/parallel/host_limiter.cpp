#include "engine/parallel/host_limiter.h"

#include <algorithm>
#include <utility>

#include "net/http/request_url.h"
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

std::string HostOfParts(const TRequestUrl& parts) {
  const std::string host = AsciiLower(parts.Host);
  return (host.find(':') == std::string::npos ? host : "[" + host + "]") + ":" + parts.Port;
}

std::string HostOfAddress(const std::string& address) {
  TRequestUrl parts;
  return SplitRequestUrl(address, parts) == 0 ? HostOfParts(parts) : AsciiLower(address);
}

}  // namespace movrek
