// Fetches through real proxies on loopback: tinyproxy as a plain HTTP proxy
// and a CONNECT tunnel (with and without Basic authentication), microsocks as
// a SOCKS5 proxy (with and without user name and password), both to an nginx
// that serves http and https.
#include <gtest/gtest.h>

#include <string>

#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/http/http_transaction.h"
#include "net/socket/tcp_block_socket.h"
#include "net/tls/tls_openssl.h"
#include "tests/helpers/peers.h"

namespace movrek::test {
namespace {

const std::string kPage = "<a href=\"/next.html\">through the proxy</a>";

struct Credentials {
  std::string user, pass;
};

// "user:pass"; "" gives no credentials (both empty).
Credentials SplitCredentials(const std::string& text) {
  if (text.empty()) return {};
  return {TextBefore(text, ":"), TextAfter(text, ":")};
}

class ProxyPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    MOVREK_REQUIRE_PEER("nginx");
    ASSERT_TRUE(StartTlsPlugin());
    nginx_.EnableTls();
    nginx_.WriteFile("index.html", kPage);
    ASSERT_TRUE(nginx_.Start());
  }

  std::string Url(bool https, const std::string& host = "127.0.0.1") const {
    return std::string(https ? "https" : "http") + "://" + host + ":" +
           std::to_string(https ? nginx_.https_port() : nginx_.http_port()) + "/index.html";
  }

  NginxServer nginx_;
};

// --- tinyproxy ---------------------------------------------------------------------

struct HttpProxyCase {
  const char* name;
  bool https;
  const char* proxyAuth;   // BasicAuth of the proxy, "" = none
  const char* clientAuth;  // ProxyUser:ProxyPass, "" = none
  bool ok;                 // the page arrives; else 407 (http) or 10091 (https)
};

class TinyproxyFetch : public ProxyPeers, public ::testing::WithParamInterface<HttpProxyCase> {};

TEST_P(TinyproxyFetch, PlainProxyingAndConnectTunnel) {
  MOVREK_REQUIRE_PEER("tinyproxy");
  const HttpProxyCase& c = GetParam();
  TinyproxyServer proxy;
  const Credentials proxyAuth = SplitCredentials(c.proxyAuth);
  proxy.SetBasicAuth(proxyAuth.user, proxyAuth.pass);
  ASSERT_TRUE(proxy.Start());

  THttpTransaction http;
  http.ProxyHost = "127.0.0.1";
  http.ProxyPort = std::to_string(proxy.port());
  const Credentials clientAuth = SplitCredentials(c.clientAuth);
  http.ProxyUser = clientAuth.user;
  http.ProxyPass = clientAuth.pass;
  const bool done = http.PerformRequest("GET", Url(c.https));

  const std::string port = std::to_string(c.https ? nginx_.https_port() : nginx_.http_port());
  if (c.https) {
    EXPECT_NE(proxy.Log().find("CONNECT 127.0.0.1:" + port + " HTTP/1.0"), std::string::npos)
        << proxy.Log();
  } else {
    // Plain proxying asks for the absolute form, port included.
    EXPECT_NE(proxy.Log().find("GET http://127.0.0.1:" + port + "/index.html HTTP/1.0"),
              std::string::npos)
        << proxy.Log();
  }
  if (c.ok) {
    ASSERT_TRUE(done) << http.Sock->LastErrorText;
    EXPECT_EQ(http.ResultCode, 200);
    EXPECT_EQ(http.Document, kPage);
    // Through the tunnel the origin sees the origin form, as from a direct client.
    if (c.https) {
      EXPECT_NE(nginx_.WaitForAccessLog("\"GET /index.html HTTP/1.0\" 200"), "");
    }
  } else if (c.https) {
    EXPECT_FALSE(done);
    EXPECT_EQ(http.Sock->LastErrorCode, WSASYSNOTREADY);
    EXPECT_EQ(http.Sock->LastErrorText, "Network subsystem is unusable");
  } else {
    ASSERT_TRUE(done) << http.Sock->LastErrorText;
    EXPECT_EQ(http.ResultCode, 407);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TinyproxyFetch,
    ::testing::Values(HttpProxyCase{"Http", false, "", "", true},
                      HttpProxyCase{"Https", true, "", "", true},
                      HttpProxyCase{"HttpAuthorized", false, "alice:secret", "alice:secret", true},
                      HttpProxyCase{"HttpsAuthorized", true, "alice:secret", "alice:secret", true},
                      HttpProxyCase{"HttpNoCredentials", false, "alice:secret", "", false},
                      HttpProxyCase{"HttpsNoCredentials", true, "alice:secret", "", false},
                      HttpProxyCase{"HttpsWrongPassword", true, "alice:secret", "alice:wrong",
                                    false}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ProxyPeers, TinyproxyRefusesConnectToAnUnlistedPort) {
  MOVREK_REQUIRE_PEER("tinyproxy");
  TinyproxyServer proxy;
  proxy.AddConfigLine("ConnectPort 443");
  ASSERT_TRUE(proxy.Start());

  TTCPBlockSocket socket;
  socket.HTTPTunnelIP = "127.0.0.1";
  socket.HTTPTunnelPort = std::to_string(proxy.port());
  socket.ConnectTo("127.0.0.1", std::to_string(nginx_.https_port()));
  EXPECT_EQ(socket.LastErrorCode, WSASYSNOTREADY);
  EXPECT_FALSE(socket.TunnelEstablished);
}

// --- microsocks ------------------------------------------------------------------

struct SocksProxyCase {
  const char* name;
  bool https;
  const char* host;        // URL host
  bool resolver;           // SocksResolver
  const char* proxyAuth;   // "" = no authentication
  const char* clientAuth;  // "" = none
  const char* sentHost;    // how the target reached the proxy; "" when refused
};

class MicrosocksFetch : public ProxyPeers, public ::testing::WithParamInterface<SocksProxyCase> {};

TEST_P(MicrosocksFetch, Socks5ToNginx) {
  MOVREK_REQUIRE_PEER("microsocks");
  const SocksProxyCase& c = GetParam();
  MicrosocksServer proxy;
  const Credentials proxyAuth = SplitCredentials(c.proxyAuth);
  proxy.SetAuth(proxyAuth.user, proxyAuth.pass);
  ASSERT_TRUE(proxy.Start());

  THttpTransaction http;
  http.Sock->SocksIP = "127.0.0.1";
  http.Sock->SocksPort = std::to_string(proxy.port());
  http.Sock->SocksResolver = c.resolver;
  const Credentials clientAuth = SplitCredentials(c.clientAuth);
  http.Sock->SocksUsername = clientAuth.user;
  http.Sock->SocksPassword = clientAuth.pass;
  const bool done = http.PerformRequest("GET", Url(c.https, c.host));

  const std::string sent = c.sentHost;
  if (sent.empty()) {
    EXPECT_FALSE(done);
    EXPECT_EQ(http.Sock->LastErrorCode, WSASYSNOTREADY);
    return;
  }
  ASSERT_TRUE(done) << http.Sock->LastErrorText;
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_EQ(http.Document, kPage);
  const std::string port = std::to_string(c.https ? nginx_.https_port() : nginx_.http_port());
  EXPECT_NE(proxy.Log().find("connected to " + sent + ":" + port), std::string::npos)
      << proxy.Log();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MicrosocksFetch,
    ::testing::Values(
        SocksProxyCase{"HttpByName", false, "localhost", true, "", "", "localhost"},
        SocksProxyCase{"HttpsByName", true, "localhost", true, "", "", "localhost"},
        SocksProxyCase{"HttpByAddress", false, "127.0.0.1", true, "", "", "127.0.0.1"},
        SocksProxyCase{"HttpsByAddress", true, "127.0.0.1", true, "", "", "127.0.0.1"},
        SocksProxyCase{"NameResolvedHere", false, "localhost", false, "", "", "127.0.0.1"},
        SocksProxyCase{"HttpAuthorized", false, "localhost", true, "alice:secret", "alice:secret",
                       "localhost"},
        SocksProxyCase{"HttpsAuthorized", true, "127.0.0.1", true, "alice:secret", "alice:secret",
                       "127.0.0.1"},
        SocksProxyCase{"WrongPassword", false, "localhost", true, "alice:secret", "alice:wrong",
                       ""},
        SocksProxyCase{"NoCredentials", false, "localhost", true, "alice:secret", "", ""}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace movrek::test
