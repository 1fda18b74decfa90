// movrek-cli while a name lookup hangs (a name server that never answers):
// --max-time and Ctrl+C end the run at once, not when the resolver gives up.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/answering_name_server.h"
#include "tests/helpers/scripted_server.h"
#include "tests/helpers/silent_name_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::FilesIn;
using movrek::test::HttpResponse;
using movrek::test::ScriptedServer;
using movrek::test::SilentNameServer;

const std::string kHangingUrl = "http://no-such-host.example/\n";

class MovrekCliLookup : public ::testing::Test {
 protected:
  // The resolver's own time-outs (seconds) are far longer than the waits
  // below.
  std::vector<std::string> Args(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--dns-servers", server_.Address()});
    return args;
  }
  // Waits until the program's lookup has reached the server.
  void WaitForQuery() {
    const auto until = Clock::now() + 10s;
    while (server_.Dropped() == 0 && Clock::now() < until) std::this_thread::sleep_for(5ms);
    ASSERT_GT(server_.Dropped(), 0);
  }

  SilentNameServer server_;
  CliRunner cli_;
};

TEST_F(MovrekCliLookup, MaxTimeEndsAHangingLookup) {
  const auto start = Clock::now();
  const CliRun run = cli_.Run(Args({"--max-time", "1"}), kHangingUrl);
  EXPECT_LT(Clock::now() - start, 1200ms);
  EXPECT_TRUE(Contains(run.err, "1 failed")) << run.err;
  EXPECT_GT(server_.Dropped(), 0);
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
}

TEST_F(MovrekCliLookup, InterruptEndsAHangingLookup) {
  const pid_t pid = cli_.Spawn(Args({}), kHangingUrl);
  ASSERT_GT(pid, 0);
  WaitForQuery();
  const auto interrupted = Clock::now();
  ::kill(pid, SIGINT);
  const CliRun run = cli_.Wait(pid);
  EXPECT_LT(Clock::now() - interrupted, 200ms);
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_TRUE(Contains(run.err, "  in flight: http://no-such-host.example/")) << run.err;
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
}

// Each address of a name is tried in turn, IPv4 first, until one takes the
// connection; when none does, the reason is the last one's.
TEST(MovrekCliAddresses, EveryAddressOfANameIsTriedInTurn) {
  ScriptedServer v4;
  v4.ReadRequest().Send(HttpResponse("200 OK", "<a href=/v4>x</a>")).Close();
  v4.Start();
  ScriptedServer v6("::1");
  v6.ReadRequest().Send(HttpResponse("200 OK", "<a href=/v6>x</a>")).Close();
  v6.Start();
  // Nothing listens on 127.0.0.2 and 127.0.0.3: those addresses refuse.
  const movrek::test::AnsweringNameServer names({{"two.test", {"127.0.0.2", "127.0.0.1"}},
                                                 {"mixed.test", {"::1", "127.0.0.3"}},
                                                 {"dead.test", {"127.0.0.2", "127.0.0.3"}}});
  const struct {
    std::string url;
    std::string err;
    std::string reason = "";
  } cases[] = {
      {"http://two.test:" + std::to_string(v4.port()) + "/", "OK : "},
      {"http://mixed.test:" + std::to_string(v6.port()) + "/", "OK : "},
      {"http://dead.test:" + std::to_string(v4.port()) + "/",
       "NETWORK ERROR or DOMAIN DOES NOT EXIST. ",
       "  reason: socket error 10061, Connection refused\n"},
  };
  CliRunner cli;
  for (const auto& c : cases) {
    const CliRun run =
        cli.Run({"--no-delay", "--retries", "0", "--dns-servers", names.Address()}, c.url + "\n");
    EXPECT_TRUE(Contains(run.err, c.err + c.url + "\n" + c.reason)) << run.err;
  }
}

}  // namespace
