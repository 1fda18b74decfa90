#include "engine/parallel/host_limiter.h"

#include <utility>

#include "text/ascii_text.h"

namespace movrek {

bool THostLimiter::Acquire(const std::string& host) {
  std::unique_lock<std::mutex> guard(lock_);
  released_.wait(guard, [&] {
    const auto own = limits_.find(host);
    return closed_ || in_use_[host] < (own != limits_.end() ? own->second : per_host_);
  });
  if (closed_) {
    return false;
  }
  ++in_use_[host];
  return true;
}

void THostLimiter::Release(const std::string& host) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (--in_use_[host] <= 0) {
      in_use_.erase(host);
    }
  }
  released_.notify_all();
}

void THostLimiter::SetLimit(const std::string& host, int limit) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    limits_[host] = limit < 1 ? 1 : limit;
  }
  released_.notify_all();
}

void THostLimiter::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
  }
  released_.notify_all();
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
