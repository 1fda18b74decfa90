// movrek-cli over longer lists: lines fetched side by side and written in
// list order, filters and --unique, the tsv and jsonl records, the reason of
// a failed fetch, --max-time and the certificate check.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace {

using namespace std::chrono_literals;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::FilesIn;
using movrek::test::ScriptedServer;

std::string Refused() {
  return "http://127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/";
}

// Server-side connections to `port` that are open now, from the kernel's
// table (counted while the scripted server is busy with one of them). The
// table is read in pieces while other tests open and close sockets, so one
// entry can come twice: each client end counts once.
int EstablishedTo(uint16_t port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  std::set<std::string> clients;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "01" && std::stoi(local.substr(local.find(':') + 1), nullptr, 16) == port) {
      clients.insert(remote);
    }
  }
  return static_cast<int>(clients.size());
}

class MovrekCliLists : public ::testing::Test {
 protected:
  void SetUp() override {
    MOVREK_REQUIRE_PEER("nginx");
    for (int i = 0; i < 6; ++i) {
      nginx_.WriteFile("p" + std::to_string(i) + ".html",
                       "<a href=\"l" + std::to_string(i) + ".html\">x</a><a href=\"common\">c</a>");
    }
    ASSERT_TRUE(nginx_.Start());
  }
  // The text block of page i of SetUp.
  std::string Block(int i) const {
    const std::string base = nginx_.Url("/");
    return "#===========#\n# Links From: " + nginx_.Url("/p" + std::to_string(i) + ".html") +
           "\n# Baseurl: " + base + "\n#===========#\n" + base + "l" + std::to_string(i) +
           ".html\n" + base + "common\n";
  }
  // Each text in turn, each after the one before.
  static void ExpectInOrder(const std::string& text, const std::vector<std::string>& parts) {
    std::size_t at = 0;
    for (const std::string& part : parts) {
      const std::size_t found = text.find(part, at);
      ASSERT_NE(found, std::string::npos) << "'" << part << "' out of order in:\n" << text;
      at = found + part.size();
    }
  }
  movrek::test::NginxServer nginx_;
  CliRunner cli_;
};

TEST_F(MovrekCliLists, ParallelJobsKeepListOrderWhenTheFirstPageIsSlowest) {
  ScriptedServer slow;
  slow.ReadRequest().Pause(800).Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/s\">s</a>").Close();
  slow.Start();
  const std::string refused = Refused();
  std::string list = slow.Url("/slow") + "\n";
  for (int i = 0; i < 6; ++i) {
    list += nginx_.Url("/p" + std::to_string(i) + ".html") + "\n";
    if (i == 2) list += refused + "\n";
  }
  const std::string file = cli_.Write("urls.txt", list);
  std::string expected = "#===========#\n# Links From: " + slow.Url("/slow") +
                         "\n# Baseurl: " + slow.Url("/") + "\n#===========#\n" + slow.Url("/s") +
                         "\n";
  for (int i = 0; i < 6; ++i) expected += Block(i);

  const CliRun parallel = cli_.Run({"--no-delay", "--jobs", "8", file});
  EXPECT_EQ(parallel.status, 3) << parallel.err;
  EXPECT_EQ(parallel.out, expected);
  ExpectInOrder(parallel.err, {"[List number: 1, Total List Items: 8]", "OK : " + slow.Url("/slow"),
                               "OK : " + nginx_.Url("/p2.html"),
                               "NETWORK ERROR or DOMAIN DOES NOT EXIST. " + refused,
                               "\n  reason: socket error 10061, Connection refused\n",
                               "OK : " + nginx_.Url("/p3.html"), "OK : " + nginx_.Url("/p5.html")});

  // One at a time, the output is what it always was (the slow server has
  // gone, so its line now fails).
  ScriptedServer again;
  again.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/s\">s</a>").Close();
  again.Start();
  const std::string one_list =
      cli_.Write("one.txt", again.Url("/slow") + "\n" + list.substr(list.find('\n') + 1));
  const CliRun one = cli_.Run({"--no-delay", one_list});
  std::string expected_one = expected;
  const std::string old_slow = slow.Url("/");
  for (std::size_t at; (at = expected_one.find(old_slow)) != std::string::npos;) {
    expected_one.replace(at, old_slow.size(), again.Url("/"));
  }
  EXPECT_EQ(one.out, expected_one);
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
}

TEST_F(MovrekCliLists, PerHostCapsConnectionsToOneHost) {
  for (const int per_host : {1, 3}) {
    ScriptedServer server;
    std::atomic<int> most{0};  // written on the server's thread
    // Sampled on arrival and again after the pause, so that a loaded machine
    // that starts the other transfers late still shows them.
    const auto sample = [&](int) {
      most = std::max(most.load(), EstablishedTo(server.port()));
      return true;
    };
    server.Call(sample)
        .ReadRequest()
        .Pause(150)
        .Call(sample)
        .Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"x\">x</a>")
        .Close()
        .RepeatForever();
    server.Start();
    std::string list;
    for (int i = 0; i < 6; ++i) list += server.Url("/" + std::to_string(i)) + "\n";
    const CliRun run =
        cli_.Run({"--no-delay", "--jobs", "6", "--per-host", std::to_string(per_host)}, list);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(server.Connections(), 6u);
    if (per_host == 1) {
      EXPECT_EQ(most, 1);
    } else {
      EXPECT_GT(most, 1);
      EXPECT_LE(most, per_host);
    }
  }
}

TEST_F(MovrekCliLists, CtrlCStopsEightSlowTransfersAndKeepsWrittenBlocks) {
  std::vector<std::unique_ptr<ScriptedServer>> slow;
  std::string list = nginx_.Url("/p0.html") + "\n";
  for (int i = 0; i < 8; ++i) {
    slow.push_back(std::make_unique<ScriptedServer>());
    slow.back()
        ->ReadRequest()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n")
        .SendSplit(movrek::test::PatternBytes(100000), 100, 50);
    slow.back()->Start();
    list += slow.back()->Url("/slow") + "\n";
  }
  const std::string save = cli_.File("never.txt");
  const pid_t pid = cli_.Spawn({"--no-delay", "--jobs", "9", "--save", save}, list);
  ASSERT_GT(pid, 0);
  for (const auto& server : slow) ASSERT_TRUE(server->WaitConnections(1, 20000));
  std::this_thread::sleep_for(300ms);
  const auto interrupted = std::chrono::steady_clock::now();
  ::kill(pid, SIGINT);
  const CliRun run = cli_.Wait(pid);
  // Generous for a loaded machine; the program itself polls every 50 ms.
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_EQ(run.out, Block(0));
  // The transfers that were stopped are named.
  for (const auto& server : slow) {
    EXPECT_TRUE(Contains(run.err, "\n  in flight: " + server->Url("/slow") + " (")) << run.err;
  }
  EXPECT_EQ(::access(save.c_str(), F_OK), -1);
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
}

TEST_F(MovrekCliLists, UniqueAndRepeatedFiltersAcrossPages) {
  const std::string base = nginx_.Url("/");
  const std::string list =
      nginx_.Url("/p0.html") + "\n" + nginx_.Url("/p1.html") + "\n" + nginx_.Url("/p0.html") + "\n";
  const auto header = [&](int i) {
    return "#===========#\n# Links From: " + nginx_.Url("/p" + std::to_string(i) + ".html") +
           "\n# Baseurl: " + base + "\n#===========#\n";
  };
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{"--unique"},
       header(0) + base + "l0.html\n" + base + "common\n" + header(1) + base + "l1.html\n" +
           header(0)},
      {{"--having", "l1", "--having", "common", "--not-having", "l0", "--not-having", "zz"},
       header(0) + base + "common\n" + header(1) + base + "l1.html\n" + base + "common\n" +
           header(0) + base + "common\n"},
      // Exponential for a backtracking engine, linear for RE2; on the href.
      {{"--unique", "--filter-href", "--match", "^(a|a)*l|(x+x+)+y", "--not-match", "l1"},
       header(0) + base + "l0.html\n" + header(1) + header(0)},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--no-delay");
    const CliRun run = cli_.Run(args, list);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.expected) << c.args[0];
  }
  const CliRun bad = cli_.Run({"--match", "a{2,1}"}, list);
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.err, "bad regular expression 'a{2,1}': ")) << bad.err;
}

TEST(MovrekCliRecords, TsvEscapesAndJsonlIsValidWhateverThePageHolds) {
  ScriptedServer server;
  const std::string page =
      "<a href=\"?a\tb\\c\">1</a><a href=\"caf\xE9\x01\x1b\">2</a><a href=\"\xC3\xA9q\">3</a>";
  // Two runs, each redirected to the page.
  for (int run = 0; run < 2; ++run) {
    server.ReadRequest()
        .Send("HTTP/1.0 302 Found\r\nLocation: /final\r\n\r\n")
        .Close()
        .NextConnection()
        .ReadRequest()
        .Send("HTTP/1.0 200 OK\r\n\r\n" + page)
        .Close()
        .NextConnection();
  }
  server.Start();
  CliRunner cli;
  const std::string start = server.Url("/start");
  const std::string final_url = server.Url("/final");
  const std::string base = server.Url("/");
  const CliRun tsv = cli.Run({"--no-delay", "--format", "tsv"}, start + "\n");
  EXPECT_EQ(tsv.status, 0) << tsv.err;
  // The tab inside the first href is dropped before any output (a page must
  // not forge lines or fields); the formatter's own tests cover "\t". The
  // page names no encoding, so its bytes are windows-1252 characters.
  EXPECT_EQ(tsv.out, final_url + "\t" + final_url + "?ab\\\\c\n" + final_url + "\t" + base +
                         "caf%C3%A9\n" + final_url + "\t" + base + "%C3%83%C2%A9q\n");

  const std::string refused = Refused();
  const std::string save = cli.File("pages.jsonl");
  const CliRun jsonl =
      cli.Run({"--no-delay", "--format", "jsonl", "--save", save}, " " + start + "\n" + refused);
  EXPECT_EQ(jsonl.status, 3) << jsonl.err;
  EXPECT_EQ(movrek::test::ReadFileText(save), jsonl.out);
  const std::string script =
      "import json,sys\n"
      "for line in open(sys.argv[1], encoding='utf-8'):\n"
      "  p = json.loads(line)\n"
      "  print(p['url'], p['final_url'], p['status'], p['http_status'], p['base'],\n"
      "        [l.encode('unicode_escape').decode() for l in p['links']], p['bytes'] > 0)\n";
  std::string output;
  ASSERT_EQ(movrek::test::RunCommand({"python3", "-c", script, save}, &output), 0) << output;
  EXPECT_EQ(output, " " + start + " " + final_url + " OK : 200 " + base + " ['" + final_url +
                        "?ab\\\\\\\\c', '" + base + "caf%C3%A9', '" + base +
                        "%C3%83%C2%A9q'] True\n" + refused + " " + refused +
                        " NETWORK ERROR or DOMAIN DOES NOT EXIST. None None [] False\n");
}

TEST(MovrekCliRecords, MaxTimeEndsADrippingServerWithATimeOutReason) {
  ScriptedServer drip;
  drip.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n").SendSplit(std::string(600, ' '), 1, 100);
  drip.Start();
  CliRunner cli;
  const auto start = std::chrono::steady_clock::now();
  const CliRun run = cli.Run({"--no-delay", "--max-time", "0.5"}, drip.Url("/drip") + "\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Contains(run.err, "NETWORK ERROR or DOMAIN DOES NOT EXIST. " + drip.Url("/drip") +
                                    "\n  reason: socket error 10060, Connection timed out\n"))
      << run.err;
}

TEST(MovrekCliRecords, CertificatesAreCheckedUnlessInsecure) {
  MOVREK_REQUIRE_PEER("openssl");
  movrek::test::OpensslServer self_signed;
  ASSERT_TRUE(self_signed.Start());
  movrek::test::OpensslServer by_ca;
  movrek::test::CertificateOptions options;
  options.issued_by_ca = true;
  by_ca.SetCertificate(options);
  ASSERT_TRUE(by_ca.Start());
  // Issued by a trusted authority, for another host; and expired.
  movrek::test::OpensslServer other_name;
  options.alt_names = "DNS:other.test";
  other_name.SetCertificate(options);
  ASSERT_TRUE(other_name.Start());
  movrek::test::OpensslServer expired;
  options.alt_names.clear();
  options.validity = movrek::test::CertificateOptions::Validity::kExpired;
  expired.SetCertificate(options);
  ASSERT_TRUE(expired.Start());
  const auto url = [](const movrek::test::OpensslServer& server) {
    return "https://127.0.0.1:" + std::to_string(server.port()) + "/";
  };

  const std::string kFailed = "TLS CERTIFICATE ERROR. ";
  CliRunner cli;
  // The test authorities stand in for the system's trust store.
  std::string authorities;
  for (const auto* server : {&by_ca, &other_name, &expired}) {
    authorities += movrek::test::ReadFileText(server->ca_path());
  }
  cli.AddEnvironment("SSL_CERT_FILE=" + cli.Write("trusted.pem", authorities));
  const struct {
    std::vector<std::string> args;
    std::string url;
    std::string status;
    std::string reason;
  } cases[] = {
      {{"-k"}, url(self_signed), "OK : ", ""},
      {{"--insecure"}, url(expired), "OK : ", ""},
      {{}, url(self_signed), kFailed, "self-signed certificate"},
      {{"--verify"}, url(by_ca), "OK : ", ""},
      {{}, url(other_name), kFailed, "IP address mismatch"},
      {{},
       "https://localhost:" + std::to_string(other_name.port()) + "/",
       kFailed,
       "hostname mismatch"},
      {{}, url(expired), kFailed, "certificate has expired"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--no-delay");
    const CliRun run = cli.Run(args, c.url + "\n");
    EXPECT_EQ(run.status, c.status == kFailed ? 3 : 0) << run.err;
    const std::string reason = c.reason.empty() ? "" : "  reason: " + c.reason + "\n";
    EXPECT_TRUE(Contains(run.err, c.status + c.url + "\n" + reason)) << run.err;
  }
}

}  // namespace
