#include "engine/parallel/proxy_routes.h"

#include "net/base/ip_text.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// An entry of no_proxy covers the host itself and the names under it; an
// IP address only itself.
bool Covers(std::string_view entry, std::string_view host) {
  if (entry == "*") {
    return true;
  }
  const std::string address(host);
  if (IsIPv4Text(address) || IsIPv6Text(address)) {
    return SameTextIgnoringCase(entry, host);
  }
  if (!entry.empty() && entry.front() == '.') {
    entry.remove_prefix(1);
  }
  if (entry.empty() || host.size() < entry.size() ||
      !SameTextIgnoringCase(host.substr(host.size() - entry.size()), entry)) {
    return false;
  }
  return host.size() == entry.size() || host[host.size() - entry.size() - 1] == '.';
}

}  // namespace

const TProxySettings* TProxyRoutes::For(std::string_view scheme, std::string_view host) const {
  const std::optional<TProxySettings>& proxy = SameTextIgnoringCase(scheme, "https") ? Https : Http;
  if (!proxy) {
    return nullptr;
  }
  // A host written as "[::1]" is listed without its brackets.
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  for (const std::string& entry : NoProxy) {
    if (Covers(entry, host)) {
      return nullptr;
    }
  }
  return &*proxy;
}

std::string ProxyKeyText(const TProxySettings& proxy) {
  std::string key;
  if (!proxy.ProxyHost.empty()) {
    key += " proxy " + proxy.ProxyUser + "@" + proxy.ProxyHost + ":" + proxy.ProxyPort;
  }
  if (!proxy.SocksIP.empty()) {
    key += " socks" + std::to_string(static_cast<int>(proxy.SocksType)) +
           (proxy.SocksResolver ? "h " : " ") + proxy.SocksUsername + "@" + proxy.SocksIP + ":" +
           proxy.SocksPort;
  }
  return key;
}

}  // namespace movrek
