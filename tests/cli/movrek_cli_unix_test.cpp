// movrek-cli as scripts use it: exit status and outcomes of mixed lists,
// its own output fed back, filters on the printed link, headers of its
// own, and the proxies of the environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;

// The "outcome" members of a jsonl output, in order, blank-separated.
std::string Outcomes(const std::string& jsonl) {
  const std::string key = "\"outcome\":\"";
  std::string outcomes;
  for (std::size_t at = jsonl.find(key); at != std::string::npos; at = jsonl.find(key, at)) {
    at += key.size();
    outcomes += (outcomes.empty() ? "" : " ") + jsonl.substr(at, jsonl.find('"', at) - at);
  }
  return outcomes;
}

class MovrekCliUnix : public ::testing::Test {
 protected:
  void SetUp() override {
    MOVREK_REQUIRE_PEER("nginx");
    // Each page links to the next two, so that an output fed back names pages.
    for (int i = 0; i < 4; ++i) {
      nginx_.WriteFile("p" + std::to_string(i) + ".html",
                       "<a href=\"p" + std::to_string(i + 1) + ".html#top\">n</a><a href=\"p" +
                           std::to_string(i + 2) + ".html\">m</a>");
    }
    nginx_.WriteFile("doc.pdf", "%PDF-1.4");
    ASSERT_TRUE(nginx_.Start());
  }
  movrek::test::NginxServer nginx_;
  CliRunner cli_;
};

TEST_F(MovrekCliUnix, MixedListsGiveTheirOutcomesSummaryAndExitStatus) {
  const std::string page = nginx_.Url("/p0.html");
  const std::string dead = "127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/";
  const struct {
    const char* name;
    std::string list;
    int status;
    std::string outcomes;
    std::string summary;
  } cases[] = {
      {"pages and a body that is no page", page + "\n" + nginx_.Url("/doc.pdf"), 0, "ok skipped",
       "2 pages, 2 links, 0 failed, 1 skipped"},
      {"an answer outside 2xx", page + "\n" + nginx_.Url("/gone.html"), 3, "ok http_error",
       "2 pages, 2 links, 1 failed, 0 skipped"},
      {"a refused connection", dead, 3, "failed", "1 page, 0 links, 1 failed, 0 skipped"},
      {"refused lines among comments",
       "# a comment\n" + page + "\nftp://h/f\nmailto:a@b\nexa mple.org/\n", 3,
       "ok refused refused refused", "4 pages, 2 links, 3 failed, 0 skipped"},
      {"all of them",
       "javascript:x()\n" + dead + "\n" + nginx_.Url("/gone.html") + "\n" + nginx_.Url("/doc.pdf") +
           "\n" + page,
       3, "refused failed http_error skipped ok", "5 pages, 2 links, 3 failed, 1 skipped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = cli_.Run({"--format", "jsonl", "--retries", "0", "-"}, c.list);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(Outcomes(run.out), c.outcomes) << run.out;
    EXPECT_TRUE(Contains(run.err, "\n" + c.summary + " in ")) << run.err;
  }
  const CliRun refused = cli_.Run({"-q", "-"}, "ftp://h/f\n");
  EXPECT_EQ(refused.err.substr(0, refused.err.find("\n1 page")),
            "REFUSED. URL list line 1: unsupported scheme \"ftp\"\n  line: ftp://h/f");
}

TEST_F(MovrekCliUnix, OutputFedBackAsAListNamesTheSamePages) {
  // Addresses as arguments and lists, in the order given.
  const std::string list = cli_.Write("urls.txt", nginx_.Url("/p1.html") + "\n");
  const std::string copy = cli_.File("copy.txt");
  const CliRun first = cli_.Run({nginx_.Url("/p0.html"), list, "-o", copy});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.out, "");
  const std::string printed = movrek::test::ReadFileText(copy);
  EXPECT_TRUE(Contains(printed, "# Links From: " + nginx_.Url("/p1.html"))) << printed;
  const CliRun piped = cli_.Run({nginx_.Url("/p0.html"), list});
  EXPECT_EQ(piped.out, printed);

  // The block heads are comments; each link line is a page.
  const CliRun again = cli_.Run({"--no-fragments", "--unique", "--format", "tsv", copy});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(cli_.Run({"--no-fragments", "--unique", "--format", "tsv", "-"}, printed).out,
            again.out);
  for (const char* page : {"/p1.html#top", "/p2.html", "/p3.html"}) {
    EXPECT_TRUE(Contains(again.err, "OK : " + nginx_.Url(page) + "\n")) << again.err;
  }
  EXPECT_TRUE(Contains(again.err, "\n4 pages, ")) << again.err;
  // Without fragments, p1 links to the same two pages as p0, each once.
  EXPECT_FALSE(Contains(again.out, "#top\n")) << again.out;
  EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 4) << again.out;
}

TEST(MovrekCliFilters, FiltersLookAtThePrintedLinkUnlessFilterHref) {
  MOVREK_REQUIRE_PEER("openssl");
  movrek::test::OpensslServer server;
  server.SetMode(movrek::test::OpensslServer::Mode::kFiles);
  server.WriteFile("index.html", "<a href=\"doc.html\">d</a><a href=\"http://other/\">o</a>");
  ASSERT_TRUE(server.Start());
  CliRunner cli;
  cli.AddEnvironment("SSL_CERT_FILE=" + server.ca_path());
  const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
  const struct {
    std::vector<std::string> filters;
    std::string links;
  } cases[] = {
      {{"--match", "^https://"}, url + "doc.html\n"},
      {{"--having", "127.0.0.1"}, url + "doc.html\n"},
      {{"--not-match", "^https://"}, "http://other/\n"},
      {{"--filter-href", "--match", "^https://"}, ""},
      {{"--filter-href", "--match", "^doc"}, url + "doc.html\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.filters;
    args.insert(args.end(), {"--verify", "--format", "tsv", url + "index.html"});
    const CliRun run = cli.Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    std::string links;
    for (std::size_t at = 0; at < run.out.size();) {
      const std::size_t end = run.out.find('\n', at) + 1;
      links += run.out.substr(run.out.find('\t', at) + 1, end - run.out.find('\t', at) - 1);
      at = end;
    }
    EXPECT_EQ(links, c.links) << c.filters.back();
  }
}

TEST(MovrekCliRequests, UserAgentAndHeadersReplaceMovreksOwn) {
  movrek::test::ScriptedServer server;
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n").Close();
  server.Start();
  CliRunner cli;
  const CliRun run = cli.Run({"-A", "agent/2", "-H", "accept-encoding: identity", "-H",
                              "X-Trace: 7", "-H", "Host:", server.Url("/p")});
  EXPECT_EQ(run.status, 0) << run.err;
  server.WaitDone(5000);
  EXPECT_EQ(server.Received(),
            "GET /p HTTP/1.1\r\nUser-Agent: agent/2\r\naccept-encoding: identity\r\n"
            "X-Trace: 7\r\n\r\n");
}

TEST_F(MovrekCliUnix, ProxiesOfTheEnvironmentAsCurlReadsThem) {
  MOVREK_REQUIRE_PEER("tinyproxy");
  movrek::test::TinyproxyServer proxy;
  ASSERT_TRUE(proxy.Start());
  const std::string via = "http://127.0.0.1:" + std::to_string(proxy.port());
  const std::string dead = "127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort());
  const struct {
    std::vector<std::string> environment;
    std::vector<std::string> options;
    bool proxied;
  } cases[] = {
      {{"http_proxy=" + via}, {}, true},
      {{"http_proxy=" + via, "NO_PROXY=example.org, .0.0.1,localhost"}, {}, true},
      {{"http_proxy=" + via, "no_proxy=example.org,127.0.0.1"}, {}, false},
      {{"ALL_PROXY=" + via, "no_proxy=*"}, {}, false},
      {{"ALL_PROXY=" + via}, {}, true},
      // curl leaves the upper-case name alone: CGI sets it from a request header.
      {{"HTTP_PROXY=http://" + dead}, {}, false},
      {{"https_proxy=" + via}, {}, false},
      {{"http_proxy=http://" + dead}, {"--proxy", via.substr(7)}, true},
  };
  int page = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment.front());
    CliRunner cli;
    for (const std::string& entry : c.environment) cli.AddEnvironment(entry);
    ++page;
    const std::string url =
        nginx_.Url("/p" + std::to_string(page % 4) + ".html?" + std::to_string(page));
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--retries", "0", url});
    const CliRun run = cli.Run(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Contains(proxy.Log(), "GET " + url + " HTTP/1.1"), c.proxied) << proxy.Log();
  }
  CliRunner bad;
  bad.AddEnvironment("https_proxy=ftp://127.0.0.1:21");
  const CliRun run = bad.Run({nginx_.Url("/p0.html")});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "https_proxy: unsupported proxy scheme 'ftp'")) << run.err;
}

}  // namespace
