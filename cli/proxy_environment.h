// The proxies that the environment names, read as curl reads them:
// http_proxy for http addresses (the upper-case HTTP_PROXY is ignored, as
// curl ignores it: a CGI program gets the client's "Proxy:" header under
// that name), https_proxy or HTTPS_PROXY for https, all_proxy or ALL_PROXY
// for both when its own is not set, and no_proxy or NO_PROXY for the hosts
// reached directly. Lower case wins over upper case.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/parallel/proxy_routes.h"

namespace movrek::cli {

// Reads a variable of the environment; null when it is not set.
using TEnvironmentReader = std::function<const char*(const char* name)>;

// The routes the environment asks for. Returns what is wrong with a
// variable's value, or the empty text.
std::string ProxyRoutesFromEnvironment(const TEnvironmentReader& get, TProxyRoutes& routes);

// "[SCHEME://][USER[:PASSWORD]@]HOST[:PORT][/]" with SCHEME http (the
// default), socks4, socks4a, socks5 or socks5h, PORT 1080 when not given.
// Returns what is wrong, or the empty text.
std::string ParseProxyUrl(std::string_view text, TProxySettings& out);

}  // namespace movrek::cli
