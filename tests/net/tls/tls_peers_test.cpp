// The OpenSSL plug-in against real TLS servers: openssl s_server for the
// certificate checks and the ends of a connection, nginx for HTTPS fetches,
// redirects into HTTPS and server name indication.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "net/base/socket_api.h"
#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "net/socket/tcp_block_socket.h"
#include "net/tls/tls_openssl.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::CertificateOptions;
using test::NginxServer;
using test::OpensslServer;

constexpr int kSslErrorSyscall = 5;  // SSL_ERROR_SYSCALL
constexpr int kCertHasExpired = 10;  // X509_V_ERR_CERT_HAS_EXPIRED
constexpr int kDepthZeroSelfSignedCert = 18;
constexpr int kUnableToGetIssuerCertLocally = 20;

class TlsPeers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(StartTlsPlugin()); }

  // A client socket with the process's plug-in, connected to 127.0.0.1.
  static std::unique_ptr<TTCPBlockSocket> Connect(std::uint16_t port) {
    auto socket = std::make_unique<TTCPBlockSocket>();
    socket->ConnectTo("127.0.0.1", std::to_string(port));
    EXPECT_EQ(socket->LastErrorCode, 0) << socket->LastErrorText;
    return socket;
  }

  static TSSLOpenSSL& Tls(TTCPBlockSocket& socket) {
    return dynamic_cast<TSSLOpenSSL&>(*socket.TlsPlugin);
  }

  // Everything the server sends until the plug-in reports the end.
  static std::string ReadToEnd(TSSLOpenSSL& tls, std::int32_t& last) {
    std::string all;
    char buffer[4096];
    while ((last = tls.TlsRecv(buffer, sizeof buffer)) > 0) all.append(buffer, last);
    return all;
  }
};

TEST_F(TlsPeers, UnverifiableCertificatesPassByDefaultAndFailWhenVerifying) {
  MOVREK_REQUIRE_PEER("openssl");
  struct Case {
    const char* name;
    CertificateOptions::Validity validity;
    bool issued_by_ca;
    bool trust_issuer;   // CertCAFile names the issuer when verifying
    int lenient_result;  // PeerVerifyResult without verification
    int strict_result;   // the same with VerifyCert set
  };
  const Case cases[] = {
      {"self-signed, no CA file", CertificateOptions::Validity::kValid, false, false,
       kDepthZeroSelfSignedCert, kDepthZeroSelfSignedCert},
      {"expired, no CA file", CertificateOptions::Validity::kExpired, false, false,
       kDepthZeroSelfSignedCert, kDepthZeroSelfSignedCert},
      {"expired, issuer trusted", CertificateOptions::Validity::kExpired, true, true,
       kUnableToGetIssuerCertLocally, kCertHasExpired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpensslServer server;
    CertificateOptions options;
    options.validity = c.validity;
    options.issued_by_ca = c.issued_by_ca;
    server.SetCertificate(options);
    ASSERT_TRUE(server.Start());

    auto lenient = Connect(server.port());
    lenient->StartTls();
    EXPECT_EQ(lenient->LastErrorCode, 0) << lenient->LastErrorText;
    EXPECT_EQ(Tls(*lenient).PeerVerifyResult(), c.lenient_result);
    EXPECT_EQ(Tls(*lenient).PeerNameText(), "localhost");
    lenient->CloseConnection();

    auto strict = Connect(server.port());
    strict->TlsPlugin->VerifyCert = true;
    if (c.trust_issuer) strict->TlsPlugin->CertCAFile = server.ca_path();
    strict->StartTls();
    EXPECT_EQ(strict->LastErrorCode, 10091);
    EXPECT_NE(strict->TlsPlugin->LastErrorCode, 0);
    EXPECT_NE(strict->TlsPlugin->LastErrorText.find("certificate verify failed"), std::string::npos)
        << strict->TlsPlugin->LastErrorText;
    EXPECT_EQ(strict->LastErrorText, strict->TlsPlugin->LastErrorText);
    EXPECT_EQ(Tls(*strict).PeerVerifyResult(), c.strict_result);
    EXPECT_FALSE(strict->TlsPlugin->TlsActive);
  }
}

TEST_F(TlsPeers, TrustedIssuerAndValidCertificateVerify) {
  MOVREK_REQUIRE_PEER("openssl");
  OpensslServer server;
  CertificateOptions options;
  options.issued_by_ca = true;
  server.SetCertificate(options);
  ASSERT_TRUE(server.Start());
  auto client = Connect(server.port());
  client->TlsPlugin->VerifyCert = true;
  client->TlsPlugin->CertCAFile = server.ca_path();
  client->StartTls();
  EXPECT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  EXPECT_EQ(Tls(*client).PeerVerifyResult(), 0);
}

TEST_F(TlsPeers, HttpsRequestToASilentServerEndsAtAbort) {
  // Accepts and never answers the client's hello.
  test::ScriptedServer silent;
  silent.Silence(5000);
  silent.Start();
  THttpTransaction http;
  std::thread aborter([&http] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    http.AbortTransfer();
  });
  const auto start = std::chrono::steady_clock::now();
  const bool ok =
      http.PerformRequest("GET", "https://127.0.0.1:" + std::to_string(silent.port()) + "/");
  const auto took = std::chrono::steady_clock::now() - start;
  aborter.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(http.Sock->LastErrorCode, 10053);
  EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST_F(TlsPeers, CleanCloseEndsTheStreamWithoutError) {
  MOVREK_REQUIRE_PEER("openssl");
  OpensslServer server;
  server.SetMode(OpensslServer::Mode::kWww);
  ASSERT_TRUE(server.Start());
  auto client = Connect(server.port());
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  client->SendText("GET / HTTP/1.0\r\n\r\n");
  std::int32_t last = -1;
  const std::string page = ReadToEnd(Tls(*client), last);
  EXPECT_EQ(page.rfind("HTTP/1.0 200 ok", 0), 0u) << page.substr(0, 80);
  EXPECT_EQ(last, 0);
  EXPECT_EQ(Tls(*client).LastErrorCode, 0);
}

TEST_F(TlsPeers, DroppedConnectionIsATransportError) {
  MOVREK_REQUIRE_PEER("openssl");
  OpensslServer server;
  server.SetMode(OpensslServer::Mode::kRev);
  ASSERT_TRUE(server.Start());
  auto client = Connect(server.port());
  client->StartTls();
  ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
  client->SendText("olleh\n");
  char buffer[64];
  std::int32_t n = 0;
  std::string echoed;
  while (echoed.find('\n') == std::string::npos &&
         (n = Tls(*client).TlsRecv(buffer, sizeof buffer)) > 0) {
    echoed.append(buffer, n);
  }
  EXPECT_EQ(echoed, "hello\n");
  server.Stop();  // the process dies without a close notification
  n = Tls(*client).TlsRecv(buffer, sizeof buffer);
  EXPECT_LE(n, 0);
  EXPECT_EQ(Tls(*client).LastErrorCode, kSslErrorSyscall);
  // The socket turns it into its TLS failure; closing must not hang.
  client->CloseConnection();
}

// nginx with a TLS listener whose default server is "localhost" and a second
// name, "other.test", with its own certificate on the same port.
class NginxTls : public TlsPeers {
 protected:
  void SetUp() override {
    TlsPeers::SetUp();
    MOVREK_REQUIRE_PEER("nginx");
    MOVREK_REQUIRE_PEER("openssl");
    nginx_.EnableTls();
    nginx_.AddVirtualHost("other.test");
    nginx_.WriteFile("index.html", "<a href=\"/x\">page of localhost</a>");
    nginx_.WriteVirtualHostFile("other.test", "index.html", "page of other.test");
    nginx_.AddLocation("location = /to-https { return 301 https://localhost:" +
                       std::to_string(nginx_.https_port()) + "/index.html; }");
  }

  std::string Fetch(const std::string& url, TUrlInfo& info) {
    THttpTransaction http;
    HttpGetFollow(url, &http, false, info);
    return http.Document;
  }

  NginxServer nginx_;
};

TEST_F(NginxTls, HttpsFetchGivesThePageAndNamesTheNonDefaultPort) {
  ASSERT_TRUE(nginx_.Start());
  const std::string port = std::to_string(nginx_.https_port());
  struct Case {
    std::string url, host_line, sni;
  };
  const Case cases[] = {
      {nginx_.TlsUrl("/index.html"), "127.0.0.1:" + port, "-"},  // address: no name sent
      {"https://localhost:" + port + "/index.html", "localhost:" + port, "localhost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    TUrlInfo info;
    EXPECT_EQ(Fetch(c.url, info), "<a href=\"/x\">page of localhost</a>");
    EXPECT_EQ(info.Status, 0);
    EXPECT_EQ(info.Url, c.url);
    const std::string needle = "host=\"" + c.host_line + "\" sni=\"" + c.sni + "\"";
    EXPECT_NE(nginx_.WaitForAccessLog(needle).find(needle), std::string::npos)
        << nginx_.AccessLog();
  }
}

TEST_F(NginxTls, RedirectFromHttpIntoHttpsIsFollowed) {
  ASSERT_TRUE(nginx_.Start());
  TUrlInfo info;
  EXPECT_EQ(Fetch(nginx_.Url("/to-https"), info), "<a href=\"/x\">page of localhost</a>");
  EXPECT_EQ(info.Status, 0);
  EXPECT_EQ(info.Url, "https://localhost:" + std::to_string(nginx_.https_port()) + "/index.html");
}

TEST_F(NginxTls, ServerNameChoosesTheSiteOnASharedPort) {
  ASSERT_TRUE(nginx_.Start());
  struct Case {
    std::string sni;  // as the transaction would fill it
    std::string certificate_name;
    std::string page;
  };
  const Case cases[] = {
      {"other.test", "other.test", "page of other.test"},
      {"other.test.", "other.test", "page of other.test"},  // the root dot is not sent
      {"localhost", "localhost", "<a href=\"/x\">page of localhost</a>"},
      {"127.0.0.1", "localhost", "<a href=\"/x\">page of localhost</a>"},  // default server
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sni);
    auto client = Connect(nginx_.https_port());
    client->TlsPlugin->SNIHost = c.sni;
    client->StartTls();
    ASSERT_EQ(client->LastErrorCode, 0) << client->LastErrorText;
    EXPECT_EQ(Tls(*client).PeerNameText(), c.certificate_name);
    const std::string host = c.sni.back() == '.' ? c.sni.substr(0, c.sni.size() - 1) : c.sni;
    client->SendText("GET /index.html HTTP/1.0\r\nHost: " + host + "\r\n\r\n");
    std::int32_t last = -1;
    const std::string response = ReadToEnd(Tls(*client), last);
    EXPECT_EQ(last, 0);
    const auto body = response.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << response;
    EXPECT_EQ(response.substr(body + 4), c.page);
  }
}

// The default HTTPS port needs its own listener on 443; skipped where that
// port is taken or cannot be bound.
TEST_F(NginxTls, DefaultPortAppearsInTheHostLine) {
  TTCPBlockSocket probe;
  probe.BindTo("127.0.0.1", "443");
  if (probe.LastErrorCode != 0) GTEST_SKIP() << "port 443: " << probe.LastErrorText;
  probe.CloseConnection();
  test::Certificate certificate;
  ASSERT_TRUE(test::GenerateCertificate(nginx_.dir(), "default-port", {}, &certificate));
  nginx_.AddHttpSnippet("server { listen 127.0.0.1:443 ssl; server_name localhost; root " +
                        nginx_.root() + "; ssl_certificate " + certificate.cert_path +
                        "; ssl_certificate_key " + certificate.key_path + "; }");
  ASSERT_TRUE(nginx_.Start());
  TUrlInfo info;
  EXPECT_EQ(Fetch("https://localhost/index.html", info), "<a href=\"/x\">page of localhost</a>");
  EXPECT_EQ(info.Status, 0);
  const std::string needle = "host=\"localhost:443\" sni=\"localhost\"";
  EXPECT_NE(nginx_.WaitForAccessLog(needle).find(needle), std::string::npos) << nginx_.AccessLog();
}

}  // namespace
}  // namespace movrek
