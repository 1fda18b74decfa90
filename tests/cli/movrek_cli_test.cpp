// movrek-cli as a user runs it: a separate process, its two output streams,
// its exit status and Ctrl+C.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/encoding_pages.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace {

using namespace std::chrono_literals;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::FilesIn;
using movrek::test::ReadFileText;

TEST(MovrekCli, HelpAndUsageErrors) {
  CliRunner cli;
  const CliRun help = cli.Run({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--having", "--not-having", "--save", "--no-delay", "--proxy", "--socks", "Exit status"}) {
    EXPECT_TRUE(Contains(help.out, option)) << option;
  }

  const CliRun bad = cli.Run({"--bogus"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(Contains(bad.err, "unknown option '--bogus'")) << bad.err;
  EXPECT_EQ(bad.out, "");

  const CliRun missing = cli.Run({cli.File("no-such-list.txt")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Contains(missing.err, "no-such-list.txt")) << missing.err;

  const CliRun empty = cli.Run({}, "");
  EXPECT_EQ(empty.status, 2);
  EXPECT_TRUE(Contains(empty.err, "At least one url is needed to extract link.")) << empty.err;
}

class MovrekCliWithNginx : public ::testing::Test {
 protected:
  void SetUp() override {
    MOVREK_REQUIRE_PEER("nginx");
    nginx_.WriteFile("index.html",
                     "<html><a href=\"one.html\">1</a><a href=\"http://x.test/ads\">2</a></html>");
    ASSERT_TRUE(nginx_.Start());
  }
  std::string Block() const {
    const std::string base = nginx_.Url("/");
    return "#===========#\n# Links From: " + nginx_.Url("/index.html") + "\n# Baseurl: " + base +
           "\n#===========#\n" + base + "one.html\nhttp://x.test/ads\n";
  }
  movrek::test::NginxServer nginx_;
  CliRunner cli_;
};

TEST_F(MovrekCliWithNginx, PrintsLinesSavesWithCrLfAndReportsEachAddress) {
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort()) + "/";
  const std::string list = cli_.Write("urls.txt", nginx_.Url("/index.html") + "\r\nab\r\n" +
                                                      refused + "\r\n" + nginx_.Url("/index.html"));
  const std::string save = cli_.File("links.txt");
  const CliRun run = cli_.Run({"--no-delay", "--save", save, list});
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_EQ(run.out, Block() + Block());
  std::string crlf = Block() + Block();
  for (std::size_t at = crlf.find('\n'); at != std::string::npos; at = crlf.find('\n', at + 2)) {
    crlf.replace(at, 1, "\r\n");
  }
  EXPECT_EQ(ReadFileText(save), crlf);
  EXPECT_TRUE(Contains(run.err, "OK : " + nginx_.Url("/index.html") + "\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, "NETWORK ERROR or DOMAIN DOES NOT EXIST. " + refused + "\n"))
      << run.err;
  EXPECT_TRUE(Contains(run.err, "[List number: 3, Total List Items: 3].\n")) << run.err;
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});

  // The same list from standard input, filtered.
  const CliRun filtered =
      cli_.Run({"--no-delay", "--not-having", "ads"}, nginx_.Url("/index.html") + "\n");
  EXPECT_EQ(filtered.status, 0) << filtered.err;
  const std::string block = Block();
  EXPECT_EQ(filtered.out, block.substr(0, block.find("http://x.test/ads")));
}

TEST_F(MovrekCliWithNginx, AnErrorThatEndsTheJobGivesStatusOneAndStillSaves) {
  const std::string save = cli_.File("partial.txt");
  // No temporary file can be made in a directory that is not there, and a
  // page too large to be held in memory needs one.
  nginx_.WriteFile("big.html", std::string(std::size_t{3} << 20, ' '));
  const std::string list = cli_.Write("urls.txt", "ab\n\n" + nginx_.Url("/big.html") + "\n");
  ::rmdir(cli_.tmpdir().c_str());
  const CliRun run = cli_.Run({"--no-delay", "--save", save, list});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, "stopped at URL list line 3: Cannot create a temporary file"))
      << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(::access(save.c_str(), F_OK), 0);
}

TEST_F(MovrekCliWithNginx, ProxyOptionsApplyToEveryConnection) {
  const std::string url = nginx_.Url("/index.html");
  // A proxy that refuses: each URL fails as a network error and the job goes on.
  const std::string dead = "127.0.0.1:" + std::to_string(movrek::test::UnusedLoopbackPort());
  const std::vector<std::vector<std::string>> refusing = {
      {"--proxy", dead}, {"--socks", dead}, {"--socks", dead, "--socks4"}};
  for (const auto& options : refusing) {
    std::vector<std::string> args = options;
    args.insert(args.end(), {"--no-delay", "--retries", "0"});
    const CliRun run = cli_.Run(args, url + "\n" + url + "\n");
    EXPECT_EQ(run.status, 3) << options[0];
    EXPECT_EQ(run.out, "") << options[0];
    EXPECT_TRUE(Contains(run.err, "[List number: 2, Total List Items: 2]")) << run.err;
    EXPECT_TRUE(Contains(run.err, "NETWORK ERROR or DOMAIN DOES NOT EXIST. " + url)) << run.err;
  }

  // Working proxies deliver the same page.
  MOVREK_REQUIRE_PEER("tinyproxy");
  MOVREK_REQUIRE_PEER("microsocks");
  movrek::test::TinyproxyServer http_proxy;
  ASSERT_TRUE(http_proxy.Start());
  movrek::test::MicrosocksServer socks;
  socks.SetAuth("user", "secret");
  ASSERT_TRUE(socks.Start());
  const std::string http_at = "127.0.0.1:" + std::to_string(http_proxy.port());
  const std::string socks_at = "127.0.0.1:" + std::to_string(socks.port());
  const std::vector<std::vector<std::string>> working = {
      {"--proxy", http_at}, {"--socks", socks_at, "--socks-user", "user:secret"}};
  for (const auto& options : working) {
    std::vector<std::string> args = options;
    args.push_back("--no-delay");
    const CliRun run = cli_.Run(args, url + "\n");
    EXPECT_EQ(run.status, 0) << options[0];
    EXPECT_EQ(run.out, Block()) << options[0] << "\n" << run.err;
  }
}

TEST_F(MovrekCliWithNginx, AClosedOutputEndsTheJob) {
  movrek::test::ScriptedServer slow;
  slow.ReadRequest()
      .Send("HTTP/1.0 200 OK\r\n\r\n<html><a href=\"x\">x</a>")
      .SendSplit(std::string(4000, ' '), 400, 50)
      .Close();
  slow.Start();
  std::string urls = nginx_.Url("/index.html") + "\n" + slow.Url("/slow") + "\n";
  for (int i = 0; i < 50; ++i) urls += nginx_.Url("/index.html") + "\n";
  const std::string list = cli_.Write("urls.txt", urls);
  // head takes the first line and goes; the next block written finds no reader.
  std::string output;
  const int status = movrek::test::RunCommand(
      {"bash", "-c",
       "\"$0\" --no-delay \"$1\" 2>/dev/null | head -1 >/dev/null; exit ${PIPESTATUS[0]}",
       MOVREK_CLI_PATH, list},
      &output);
  EXPECT_EQ(status, 141) << output;
}

TEST_F(MovrekCliWithNginx, OutputThatCannotBeWrittenIsNoSuccess) {
  // A full device takes the lines into the stream buffer and fails only when
  // it is flushed, which for a short job is the final flush.
  const std::string list = cli_.Write("urls.txt", nginx_.Url("/index.html") + "\n");
  std::string output;
  const int status = movrek::test::RunCommand(
      {"bash", "-c", "\"$0\" --no-delay \"$1\" >/dev/full", MOVREK_CLI_PATH, list}, &output);
  EXPECT_EQ(status, 141) << output;
}

TEST_F(MovrekCliWithNginx, CtrlCTermAndHangUpAbortKeepPrintedLinesAndLeaveNothing) {
  const struct {
    int signal_number;
    int status;
  } cases[] = {{SIGINT, 130}, {SIGTERM, 143}, {SIGHUP, 129}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal_number);
    movrek::test::ScriptedServer slow;
    slow.ReadRequest()
        .Send("HTTP/1.0 200 OK\r\nContent-Length: 200000\r\n\r\n")
        .SendSplit(movrek::test::PatternBytes(200000), 500, 25);
    slow.Start();
    const std::string save = cli_.File("never.txt");
    const std::string list =
        cli_.Write("urls.txt", nginx_.Url("/index.html") + "\n" + slow.Url("/slow") + "\n");
    const pid_t pid = cli_.Spawn({"--no-delay", "--save", save, list}, "");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(slow.WaitConnections(1, 20000));
    std::this_thread::sleep_for(100ms);
    ::kill(pid, c.signal_number);
    const CliRun run = cli_.Wait(pid);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, Block());
    EXPECT_EQ(::access(save.c_str(), F_OK), -1);
    EXPECT_TRUE(Contains(run.err, "aborted")) << run.err;
    EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
  }
}

TEST(MovrekCli, ASaveTargetThatCannotBeWrittenIsAUsageErrorBeforeAnyFetch) {
  CliRunner cli;
  movrek::test::ScriptedServer server;  // must never be asked
  server.Start();
  const std::string list = cli.Write("urls.txt", server.Url("/") + "\n");
  for (const std::string& target : {cli.File("no-such-folder/out.txt"), cli.File("")}) {
    const CliRun run = cli.Run({"--save", target, list});
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_TRUE(Contains(run.err, "cannot save to '" + target + "'")) << run.err;
  }
  EXPECT_EQ(server.Connections(), 0u);
}

TEST(MovrekCliEncodings, EachPageIsReadInItsEncodingAndListedInAscii) {
  MOVREK_REQUIRE_PEER("nginx");
  movrek::test::NginxServer nginx;
  std::string list;
  std::string expected;
  for (const auto& page : movrek::test::EncodingPages()) {
    nginx.WriteFile(page.File, page.Bytes);
    if (!page.HeaderCharset.empty())
      nginx.AddLocation("location = /" + page.File + " { charset " + page.HeaderCharset + "; }");
  }
  ASSERT_TRUE(nginx.Start());
  for (const auto& page : movrek::test::EncodingPages()) {
    list += nginx.Url("/" + page.File) + "\n";
    expected += "#===========#\n# Links From: " + nginx.Url("/" + page.File) +
                "\n# Baseurl: " + nginx.Url("/") + "\n#===========#\n" + nginx.Url(page.Link) +
                "\n";
  }
  CliRunner cli;
  const CliRun run = cli.Run({"--no-delay"}, list);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, expected);
}

}  // namespace
