// The worker's window channel: result lines in batches, in their place among
// the other window operations.
#include "engine/window_job/window_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/pipeline/job_aborted.h"
#include "engine/window_job/event_loop.h"
#include "tests/engine/recording_window.h"
#include "tests/engine/window_job/counting_thread.h"

namespace {

using namespace std::chrono_literals;
using movrek::TEventLoop;
using movrek::TWindowChannel;
using movrek::testing::TCountingThread;
using Window = movrek::testing::TRecordingWindow;

TEST(WindowChannel, LinesGoInFewBatchesInOrderAndAStatusTextBetweenThemKeepsItsPlace) {
  TEventLoop loop;
  TCountingThread thread(loop);
  Window window;
  auto channel = std::make_shared<TWindowChannel>(thread, window);
  constexpr int kHalf = 5000;
  std::thread worker([&] {
    for (int i = 0; i < kHalf; ++i) channel->AppendResultLine("a" + std::to_string(i));
    channel->SetStatusText("between");
    for (int i = kHalf; i < 2 * kHalf; ++i) channel->AppendResultLine("a" + std::to_string(i));
    channel->FlushResultLines();
  });
  ASSERT_TRUE(loop.RunUntil([&] { return window.ResultLines.size() == 2 * kHalf; }, 20s));
  worker.join();

  std::vector<std::string> expected;
  for (int i = 0; i < 2 * kHalf; ++i) {
    if (i == kHalf) expected.push_back("SetStatusText:between");
    expected.push_back("AppendResultLine:a" + std::to_string(i));
  }
  std::vector<std::string> seen;
  for (const auto& call : window.Calls) seen.push_back(call.Operation + ":" + call.Text);
  EXPECT_EQ(seen, expected);
  // Lines come at least every 50 ms, so a slow machine may need a few more
  // batches, never one per line.
  EXPECT_LT(thread.HandOffs.load(), 100);
  EXPECT_GE(window.ResultBatches, 2);
}

TEST(WindowChannel, AfterAbortNothingIsQueuedAndLinesStopTheListing) {
  TEventLoop loop;
  TCountingThread thread(loop);
  Window window;
  auto channel = std::make_shared<TWindowChannel>(thread, window);
  channel->AppendResultLine("held back");
  channel->Abort();
  channel->FlushResultLines();
  channel->SetStatusText("late");
  EXPECT_THROW(channel->AppendResultLine("more"), movrek::EJobAborted);
  EXPECT_FALSE(channel->Call([] {}));
  EXPECT_EQ(thread.HandOffs.load(), 0);
  loop.ProcessPending();
  EXPECT_TRUE(window.Calls.empty());
}

}  // namespace
