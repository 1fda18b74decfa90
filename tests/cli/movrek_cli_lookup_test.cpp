// movrek-cli while a name lookup hangs (a name server that never answers):
// --max-time and Ctrl+C end the run at once, not when the resolver gives up.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/silent_name_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::FilesIn;
using movrek::test::SilentNameServer;

const std::string kHangingUrl = "http://no-such-host.example/\n";

class MovrekCliLookup : public ::testing::Test {
 protected:
  MovrekCliLookup() {
    cli_.AddEnvironment("MOVREK_TEST_DNS_SERVER=" + server_.Address());
    // Far longer than any of the waits below.
    cli_.AddEnvironment("MOVREK_TEST_DNS_TIMEOUT_MS=60000");
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
  const CliRun run = cli_.Run({"--max-time", "1"}, kHangingUrl);
  EXPECT_LT(Clock::now() - start, 1200ms);
  EXPECT_TRUE(Contains(run.err, "1 failed")) << run.err;
  EXPECT_GT(server_.Dropped(), 0);
  EXPECT_EQ(FilesIn(cli_.tmpdir()), std::vector<std::string>{});
}

TEST_F(MovrekCliLookup, InterruptEndsAHangingLookup) {
  const pid_t pid = cli_.Spawn({}, kHangingUrl);
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

}  // namespace
