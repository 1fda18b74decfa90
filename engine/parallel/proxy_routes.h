// Proxies chosen address by address, the way curl reads http_proxy,
// https_proxy, all_proxy and no_proxy: one proxy per scheme, and hosts that
// are reached directly whatever the scheme.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pipeline/job_settings.h"

namespace movrek {

struct TProxyRoutes {
  std::optional<TProxySettings> Http;   // for http:// addresses
  std::optional<TProxySettings> Https;  // for https:// addresses
  // Host names (a name also covers the names under it: "example.org" and
  // ".example.org" both cover "www.example.org") and IP addresses (each
  // only itself) reached directly, lower case; "*" covers every host.
  std::vector<std::string> NoProxy;

  bool Empty() const { return !Http && !Https; }
  // The proxy for an address of `scheme` on `host`; null: none.
  const TProxySettings* For(std::string_view scheme, std::string_view host) const;
};

// What a connection carries besides its server, as part of its pool key:
// the proxy it goes through.
std::string ProxyKeyText(const TProxySettings& proxy);

}  // namespace movrek
