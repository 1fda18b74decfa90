// movrek-cli against HTTPS servers that speak HTTP/2: the pages of one host
// share one connection, a server without it (or --http1.1) gets HTTP/1.1,
// proxies carry it, and a stream cut short leaves the others whole.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/peers.h"

namespace {

using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;

// The protocols and connection numbers of nginx's access log.
struct TLogged {
  std::set<std::string> Protocols;
  std::set<std::string> Connections;
};

TLogged ReadLog(const std::string& log) {
  TLogged logged;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t proto = line.find(" HTTP/");
    const std::size_t conn = line.find(" conn=");
    if (proto != std::string::npos && conn != std::string::npos) {
      logged.Protocols.insert(line.substr(proto + 1, line.find('"', proto) - proto - 1));
      logged.Connections.insert(line.substr(conn + 6));
    }
  }
  return logged;
}

class MovrekCliHttp2 : public ::testing::Test {
 protected:
  void SetUp() override { MOVREK_REQUIRE_PEER("nginx"); }
  // Eight pages of a TLS nginx, with or without HTTP/2.
  void Serve(movrek::test::NginxServer& nginx, bool http2) {
    nginx.EnableTls();
    if (http2) {
      nginx.EnableHttp2();
    }
    for (int i = 0; i < 8; ++i) {
      nginx.WriteFile("p" + std::to_string(i) + ".html",
                      "<a href=\"l" + std::to_string(i) + ".html\">x</a>");
    }
    ASSERT_TRUE(nginx.Start());
  }
  static std::string Pages(const movrek::test::NginxServer& nginx) {
    std::string list;
    for (int i = 0; i < 8; ++i) {
      list += nginx.TlsUrl("/p" + std::to_string(i) + ".html") + "\n";
    }
    return list;
  }
};

TEST_F(MovrekCliHttp2, PagesOfOneHostShareOneConnectionOnlyOverHttp2) {
  MOVREK_REQUIRE_PEER("tinyproxy");
  MOVREK_REQUIRE_PEER("microsocks");
  movrek::test::TinyproxyServer tunnel;
  ASSERT_TRUE(tunnel.Start());
  movrek::test::MicrosocksServer socks;
  ASSERT_TRUE(socks.Start());
  const std::string tunnel_at = "127.0.0.1:" + std::to_string(tunnel.port());
  const std::string socks_at = "127.0.0.1:" + std::to_string(socks.port());
  struct TCase {
    const char* Name;
    bool ServerHttp2;
    std::vector<std::string> Args;
    const char* Protocol;
    std::size_t MostConnections;
  };
  const TCase cases[] = {
      {"h2 offered", true, {}, "HTTP/2.0", 1},
      {"no h2 at the server", false, {}, "HTTP/1.1", 4},
      {"--http1.1", true, {"--http1.1"}, "HTTP/1.1", 4},
      {"--no-keep-alive", true, {"--no-keep-alive"}, "HTTP/1.0", 8},
      {"--per-host 2", true, {"--per-host", "2"}, "HTTP/2.0", 1},
      {"CONNECT tunnel", true, {"--proxy", tunnel_at}, "HTTP/2.0", 1},
      {"SOCKS", true, {"--socks", socks_at}, "HTTP/2.0", 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    movrek::test::NginxServer nginx;
    Serve(nginx, c.ServerHttp2);
    std::vector<std::string> args = {"--jobs", "8"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    CliRunner cli;
    cli.AddEnvironment("SSL_CERT_FILE=" + nginx.ca_path());
    const CliRun run = cli.Run(args, Pages(nginx));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "8 pages, 8 links, 0 failed")) << run.err;
    for (int i = 0; i < 8; ++i) {
      EXPECT_TRUE(Contains(run.out, nginx.TlsUrl("/l" + std::to_string(i) + ".html")));
    }
    const TLogged logged = ReadLog(nginx.WaitForAccessLog("p7.html"));
    EXPECT_EQ(logged.Protocols, std::set<std::string>{c.Protocol});
    EXPECT_GE(logged.Connections.size(), 1u);
    EXPECT_LE(logged.Connections.size(), c.MostConnections);
  }
}

TEST_F(MovrekCliHttp2, StreamsCutShortLeaveTheOthersWhole) {
  movrek::test::NginxServer nginx;
  nginx.WriteLargeFile("big.bin", 8u << 20);
  nginx.WriteLargeFile("big.html", 8u << 20);
  Serve(nginx, true);
  std::string list = Pages(nginx);
  list.insert(list.find('\n') + 1,
              nginx.TlsUrl("/big.bin") + "\n" + nginx.TlsUrl("/big.html") + "\n");
  CliRunner cli;
  cli.AddEnvironment("SSL_CERT_FILE=" + nginx.ca_path());
  const CliRun run = cli.Run({"--jobs", "10", "--max-size", "100000"}, list);
  EXPECT_TRUE(Contains(run.err, "10 pages, 8 links, 0 failed, 1 skipped")) << run.err;
  const std::string log = nginx.WaitForAccessLog("p7.html");
  EXPECT_EQ(ReadLog(log).Connections.size(), 1u) << log;
  // Both large bodies were reset well before their end.
  for (const char* big : {"/big.bin", "/big.html"}) {
    const std::size_t line = log.find(big);
    ASSERT_NE(line, std::string::npos) << log;
    std::istringstream fields(log.substr(log.find("\" ", line) + 2));
    long long status = 0, sent = 0;
    fields >> status >> sent;
    EXPECT_LT(sent, 4ll << 20) << big;
  }
}

// The scripted HTTP/2 server of tests/peers in one of its modes, with a
// certificate the runs trust.
class ScriptedH2Server {
 public:
  explicit ScriptedH2Server(const std::string& mode) : port_(movrek::test::FreeLoopbackPort()) {
    EXPECT_TRUE(movrek::test::GenerateCertificate(dir_.path(), "server", {}, &cert_));
    started_ = process_.Start({kPython, MOVREK_H2_SERVER, mode, std::to_string(port_),
                               cert_.cert_path, cert_.key_path},
                              dir_.File("server.log")) &&
               movrek::test::WaitForPort(port_);
  }
  static constexpr const char* kPython = "/usr/bin/python3";
  static bool Available() {
    return movrek::test::RunCommand({kPython, "-c", "import h2.connection"}) == 0;
  }
  bool Started() const { return started_; }
  std::string Url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string Log() const { return process_.Log(); }
  const std::string& Ca() const { return cert_.ca_path; }

 private:
  movrek::test::TempDir dir_;
  uint16_t port_;
  movrek::test::Certificate cert_;
  movrek::test::ChildProcess process_;
  bool started_ = false;
};

TEST(MovrekCliHttp2Hostile, ServersThatBreakTheProtocolFailPagesWithAReasonAndNeverHang) {
  if (!ScriptedH2Server::Available()) {
    if (movrek::test::RunningInCi()) {
      FAIL() << "python3-h2 is not installed (required on CI)";
    }
    GTEST_SKIP() << "python3-h2 is not installed";
  }
  struct TCase {
    const char* Mode;
    const char* Summary;
    const char* Reason;  // in the status lines; empty: none
    const char* ServerLog;
  };
  const TCase cases[] = {
      {"goaway", "4 pages, 4 links, 0 failed", "", "connection 2"},
      {"refuse", "4 pages, 4 links, 0 failed", "", "connection 2"},
      {"reset", "4 pages, 3 links, 1 failed", "the server reset the stream (INTERNAL_ERROR)", ""},
      {"flood", "4 pages, 0 links, 4 failed", "floods the connection", ""},
      {"bighead", "4 pages, 0 links, 4 failed", "response head larger than 65536 bytes", ""},
      {"stall", "4 pages, 0 links, 4 failed", "timed out", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Mode);
    ScriptedH2Server server(c.Mode);
    ASSERT_TRUE(server.Started()) << server.Log();
    std::string list;
    for (const char* path : {"/a", "/b", "/reset", "/d"}) {
      list += server.Url(path) + "\n";
    }
    CliRunner cli;
    cli.AddEnvironment("SSL_CERT_FILE=" + server.Ca());
    const auto started = std::chrono::steady_clock::now();
    const CliRun run = cli.Run({"--jobs", "4", "--retries", "0", "--max-time", "2"}, list);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(Contains(run.err, c.Summary)) << run.err;
    EXPECT_TRUE(Contains(run.err, c.Reason)) << run.err;
    EXPECT_TRUE(Contains(server.Log(), c.ServerLog)) << server.Log();
  }
}

}  // namespace
