// What movrek-cli tells a script: the record of each kind of failure, the
// lines on standard error, --quiet, the cleaning of the list, the summary.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/scripted_server.h"

namespace {

using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::ScriptedServer;

std::string Refused() {
  return "http://127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/";
}

TEST(MovrekCliReports, EachKindOfFailureGivesItsRecordAndItsLines) {
  ScriptedServer loop;  // always back to the same address
  loop.ReadRequest().Send("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n").Close().RepeatForever();
  loop.Start();
  ScriptedServer chain;  // each hop one folder deeper: never the same address
  chain.ReadRequest().Send("HTTP/1.0 302 Found\r\nLocation: x/\r\n\r\n").Close().RepeatForever();
  chain.Start();
  ScriptedServer missing;
  missing.ReadRequest().Send("HTTP/1.0 404 Not Found\r\n\r\n<a href=\"/h\">h</a>").Close();
  missing.Start();
  ScriptedServer pdf;
  pdf.ReadRequest().Send("HTTP/1.0 200 OK\r\nContent-Type: application/pdf\r\n\r\n%PDF-").Close();
  pdf.Start();
  ScriptedServer drip;
  drip.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n").SendSplit(std::string(600, ' '), 1, 100);
  drip.Start();
  const std::string kNetwork = "NETWORK ERROR or DOMAIN DOES NOT EXIST. ";
  const struct {
    std::string url;
    std::vector<std::string> args;
    std::string status_line;
    std::string detail_line;  // the line after the status ("" for none)
    std::string record;       // http_status and reason in the jsonl record
  } cases[] = {
      {Refused(),
       {},
       kNetwork,
       "  reason: socket error 10061, Connection refused",
       R"("http_status":null,"reason":"socket error 10061, Connection refused")"},
      // No name server answers for .invalid (RFC 6761): "not found" or "try again".
      {"http://movrek-test.invalid/",
       {},
       kNetwork,
       "  reason: socket error 1100",
       R"("http_status":null,"reason":"socket error 1100)"},
      {drip.Url("/drip"),
       {"--max-time", "0.5"},
       kNetwork,
       "  reason: socket error 10060, Connection timed out",
       R"("http_status":null,"reason":"socket error 10060, Connection timed out")"},
      {loop.Url("/loop"),
       {},
       "GENERAL ERROR. ",
       "  reason: redirect loop",
       R"("http_status":302,"reason":"redirect loop")"},
      {chain.Url("/r/"),
       {},
       "GENERAL ERROR. ",
       "  reason: too many redirects (20)",
       R"x("http_status":302,"reason":"too many redirects (20)")x"},
      {missing.Url("/gone"),
       {},
       "OK : ",
       "  http: 404 Not Found",
       R"("http_status":404,"reason":null)"},
      {pdf.Url("/doc"),
       {},
       "SKIPPED, NOT HTML (application/pdf). ",
       "",
       R"("http_status":200,"reason":null)"},
  };
  for (const auto& c : cases) {
    CliRunner cli;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--no-delay", "--format", "jsonl"});
    const CliRun run = cli.Run(args, c.url + "\n");
    // Only a page listed or skipped as no page is a success.
    const bool success =
        Contains(run.out, R"("outcome":"ok")") || Contains(run.out, R"("outcome":"skipped")");
    EXPECT_EQ(run.status, success ? 0 : 3) << run.err;
    EXPECT_TRUE(Contains(run.out, c.record)) << run.out;
    EXPECT_TRUE(Contains(run.err, c.status_line + c.url + "\n" + c.detail_line)) << run.err;
    EXPECT_EQ(Contains(run.err, "\n  reason: "), c.detail_line.find("reason") != std::string::npos)
        << run.err;
    const bool skipped = c.status_line.rfind("SKIPPED", 0) == 0;
    EXPECT_TRUE(
        Contains(run.err, skipped ? " 0 failed, 1 skipped in " : " 1 failed, 0 skipped in "))
        << run.err;
  }
  EXPECT_EQ(loop.Connections(), 21u);
}

TEST(MovrekCliReports, QuietGivesOnlyFailuresAndTheSummary) {
  ScriptedServer server;
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/a\">a</a><a href=\"/b\">b</a>");
  server.NextConnection().ReadRequest().Send("HTTP/1.0 503 Busy\r\n\r\n");
  server.Start();
  const std::string refused = Refused();
  CliRunner cli;
  const CliRun run =
      cli.Run({"--no-delay", "--quiet", "--retries", "0"},
              server.Url("/ok") + "\n" + refused + "\n" + server.Url("/busy") + "\n");
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_TRUE(Contains(run.out, server.Url("/b"))) << run.out;
  const std::string expected_err_start =
      "NETWORK ERROR or DOMAIN DOES NOT EXIST. " + refused +
      "\n  reason: socket error 10061, Connection refused\nOK : " + server.Url("/busy") +
      "\n  http: 503 Busy\n3 pages, 2 links, 2 failed, 0 skipped in ";
  EXPECT_EQ(run.err.substr(0, expected_err_start.size()), expected_err_start) << run.err;
  EXPECT_EQ(run.err.find('\n', expected_err_start.size()), run.err.size() - 1) << run.err;
}

TEST(MovrekCliReports, TheListIsCleanedLineByLine) {
  ScriptedServer server;
  server.ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/1\">1</a>").Close();
  server.NextConnection().ReadRequest().Send("HTTP/1.0 200 OK\r\n\r\n<a href=\"/2\">2</a>").Close();
  server.Start();
  CliRunner cli;
  const std::string list = "\xEF\xBB\xBF" + server.Url("/first") + std::string("\nh/\0x\n", 6) +
                           std::string(100000, 'a') + "\n" + server.Url("/last") + "\n";
  const CliRun run = cli.Run({"--no-delay", "--format", "tsv", "--with-status"}, list);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, server.Url("/first") + "\t" + server.Url("/1") + "\t200\n" +
                         server.Url("/last") + "\t" + server.Url("/2") + "\t200\n");
  EXPECT_TRUE(Contains(run.err, "REFUSED. URL list line 2: NUL byte in address\n  line: h/?x\n"))
      << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "REFUSED. URL list line 3: line longer than 65536 bytes\n"
                       "  line: aaaa"))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "4 pages, 2 links, 2 failed, 0 skipped in ")) << run.err;
  EXPECT_LT(run.err.find("/first\n"), run.err.find("REFUSED. URL list line 2"));
  EXPECT_LT(run.err.find("REFUSED. URL list line 3"), run.err.find("OK : " + server.Url("/last")));

  for (const std::string& nothing : {std::string("ab\n  \n\n"), std::string("# h/a\n #\n")}) {
    const CliRun none = cli.Run({}, nothing);
    EXPECT_EQ(none.status, 2) << none.err;
    EXPECT_TRUE(Contains(none.err, "At least one url is needed to extract link.")) << none.err;
  }
  const CliRun version = cli.Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "movrek-cli 1.0.0\n");
}

}  // namespace
