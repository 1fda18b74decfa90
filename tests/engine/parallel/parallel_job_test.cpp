// Abort of the parallel job while a page is in transfer: the transfer stops
// at once, no page is handed out after it, and no file is left behind. A
// list sorted by host keeps every worker busy and its order.
#include "engine/parallel/parallel_job.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
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

TEST(ParallelJob, AListSortedByHostRunsAtTheJobsAndKeepsItsOrder) {
  TNetworkStartup network;
  constexpr int kHosts = 4;
  constexpr int kPagesPerHost = 3;
  constexpr int kPageMs = 300;
  // Each server is a host of its own (the port is part of it) and answers
  // one page at a time, each after a pause.
  std::vector<std::unique_ptr<test::ScriptedServer>> servers;
  std::vector<std::string> lines;
  for (int host = 0; host < kHosts; ++host) {
    auto& server = *servers.emplace_back(std::make_unique<test::ScriptedServer>());
    server.ReadRequest()
        .Pause(kPageMs)
        .Send(test::HttpResponse("200 OK", "<a href=\"x\">x</a>",
                                 "Content-Type: text/html\r\nConnection: close\r\n"))
        .Close()
        .RepeatForever();
    server.Start();
    for (int page = 0; page < kPagesPerHost; ++page) {
      lines.push_back(server.Url("/" + std::to_string(page)));
    }
  }
  TParallelSettings settings;
  settings.Job = test::NoPauses();
  settings.Jobs = kHosts;
  settings.PerHost = 1;
  TParallelJob job(std::move(settings), lines);
  const auto started = Clock::now();
  job.Start();
  for (const std::string& line : lines) {
    const std::optional<TPageResult> page = job.Next(milliseconds(10000));
    ASSERT_TRUE(page.has_value()) << line;
    EXPECT_EQ(page->Line, line);
    EXPECT_EQ(page->HttpStatus, 200) << line;
  }
  // One page of each host at a time: the time of one host's pages, not of
  // all of them one after another.
  EXPECT_LT(Clock::now() - started, milliseconds(kPagesPerHost * kPageMs * 2));
  EXPECT_TRUE(job.Done());
}

}  // namespace
}  // namespace movrek
