// Abort of the parallel job while a page is in transfer: the transfer stops
// at once, no page is handed out after it, and no file is left behind.
#include "engine/parallel/parallel_job.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/pipeline/network_startup.h"
#include "tests/helpers/no_pauses.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scoped_env.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int FilesIn(const std::string& folder) {
  int count = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      count += entry->d_name[0] != '.' ? 1 : 0;
    }
    ::closedir(dir);
  }
  return count;
}

// Waits until the first line has received part of its body.
bool BodyUnderWay(const TParallelJob& job) {
  const auto until = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < until) {
    const std::vector<TTransferInFlight> lines = job.InFlight();
    if (!lines.empty() && lines.front().Received > 0) {
      return true;
    }
    std::this_thread::sleep_for(milliseconds(5));
  }
  return false;
}

TEST(ParallelJob, AbortDuringATransferEndsTheJobAtOnceWithoutPagesOrFiles) {
  TNetworkStartup network;
  test::TempDir tmp;
  test::ScopedEnv tmpdir("TMPDIR", tmp.path());
  for (bool shutdown_first : {false, true}) {
    // The body is announced and begun, then the server says nothing more.
    test::ScriptedServer server;
    server.ReadRequest()
        .Send("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n<html>")
        .Silence(10000);
    server.Start();
    TParallelSettings settings;
    settings.Job = test::NoPauses();
    settings.Fetch.Retries = 0;
    TParallelJob job(std::move(settings), {server.Url("/a"), server.Url("/b"), server.Url("/c")});
    job.Start();
    ASSERT_TRUE(BodyUnderWay(job)) << shutdown_first;
    const auto asked = Clock::now();
    // Shutdown aborts what still runs by itself.
    if (!shutdown_first) {
      job.Abort();
    }
    job.Shutdown();
    EXPECT_LT(Clock::now() - asked, milliseconds(1000)) << shutdown_first;
    EXPECT_FALSE(job.Next(milliseconds(0)).has_value()) << shutdown_first;
    EXPECT_EQ(FilesIn(tmp.path()), 0) << shutdown_first;
  }
}

}  // namespace
}  // namespace movrek
