// The environment's proxies as curl reads them, and the header lines that
// take the place of a request's own.
#include "cli/proxy_environment.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "net/http/header_fields.h"

namespace {

using movrek::TProxyRoutes;
using movrek::TProxySettings;

// "direct", "http USER@HOST:PORT" or "socksN[h] USER@HOST:PORT".
std::string Route(const TProxyRoutes& routes, const char* scheme, const char* host) {
  const TProxySettings* proxy = routes.For(scheme, host);
  if (proxy == nullptr) return "direct";
  if (!proxy->ProxyHost.empty()) {
    return "http " + proxy->ProxyUser + ":" + proxy->ProxyPass + "@" + proxy->ProxyHost + ":" +
           proxy->ProxyPort;
  }
  return "socks" + std::to_string(proxy->SocksType == movrek::ST_Socks4 ? 4 : 5) +
         (proxy->SocksResolver ? "h " : " ") + proxy->SocksUsername + "@" + proxy->SocksIP + ":" +
         proxy->SocksPort;
}

TEST(ProxyEnvironment, EachAddressGetsTheProxyCurlWouldUse) {
  const struct {
    std::map<std::string, std::string> env;
    const char* scheme;
    const char* host;
    std::string route;
  } cases[] = {
      {{{"http_proxy", "p:3128"}}, "http", "h", "http :@p:3128"},
      {{{"http_proxy", "http://u:p%40ss@p"}}, "HTTP", "h", "http u:p@ss@p:1080"},
      {{{"HTTP_PROXY", "p:3128"}}, "http", "h", "direct"},
      {{{"http_proxy", "p:3128"}}, "https", "h", "direct"},
      {{{"HTTPS_PROXY", "socks5h://[::1]:9050/"}}, "https", "h", "socks5h @::1:9050"},
      {{{"https_proxy", "socks4://a@s:1"}, {"HTTPS_PROXY", "p:2"}}, "https", "h", "socks4 a@s:1"},
      {{{"ALL_PROXY", "socks5://s:1"}, {"http_proxy", "p:2"}}, "http", "h", "http :@p:2"},
      {{{"all_proxy", "socks5://s:1"}}, "https", "h", "socks5 @s:1"},
      {{{"all_proxy", "p:1"}, {"no_proxy", "example.org"}}, "http", "www.Example.org", "direct"},
      {{{"all_proxy", "p:1"}, {"no_proxy", " .example.org ,x"}}, "http", "example.org", "direct"},
      {{{"all_proxy", "p:1"}, {"no_proxy", "example.org"}}, "http", "badexample.org", "http :@p:1"},
      {{{"all_proxy", "p:1"}, {"NO_PROXY", "0.0.1"}}, "http", "127.0.0.1", "http :@p:1"},
      {{{"all_proxy", "p:1"}, {"no_proxy", "::1"}}, "http", "[::1]", "direct"},
      {{{"all_proxy", "p:1"}, {"no_proxy", "*"}}, "https", "h", "direct"},
  };
  for (const auto& c : cases) {
    TProxyRoutes routes;
    const auto get = [&](const char* name) {
      const auto found = c.env.find(name);
      return found == c.env.end() ? nullptr : found->second.c_str();
    };
    ASSERT_EQ(movrek::cli::ProxyRoutesFromEnvironment(get, routes), "");
    EXPECT_EQ(Route(routes, c.scheme, c.host), c.route) << c.env.begin()->second;
  }
  TProxySettings proxy;
  EXPECT_EQ(movrek::cli::ParseProxyUrl("https://p:1", proxy), "unsupported proxy scheme 'https'");
  EXPECT_EQ(movrek::cli::ParseProxyUrl("http://p:99999", proxy), "bad proxy address 'p:99999'");
}

TEST(HeaderOverrides, ALineTakesThePlaceOfTheLinesOfItsName) {
  const std::vector<std::string> head = {"GET / HTTP/1.1", "Host: h", "User-Agent: a",
                                         "Accept-Encoding: gzip"};
  const struct {
    std::vector<std::string> overrides;
    std::vector<std::string> expected;
  } cases[] = {
      {{"user-agent: b"}, {"GET / HTTP/1.1", "Host: h", "Accept-Encoding: gzip", "user-agent: b"}},
      {{"Accept-Encoding:", "X: 1", "Host:  "}, {"GET / HTTP/1.1", "User-Agent: a", "X: 1"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = head;
    movrek::ApplyHeaderOverrides(c.overrides, lines);
    EXPECT_EQ(lines, c.expected) << c.overrides.front();
  }
}

}  // namespace
