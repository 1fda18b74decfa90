// The queue that carries the worker's window calls to the window's thread.
#include "engine/window_job/event_loop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using movrek::TEventLoop;

TEST(EventLoop, RunsCallsFromOtherThreadsInPostingOrderOnItsOwnThread) {
  TEventLoop loop;
  std::vector<int> seen;  // touched only by the loop's thread
  const auto loop_thread = std::this_thread::get_id();
  bool other_thread_ran_call = false;
  constexpr int kCalls = 20000;
  std::thread poster([&] {
    for (int i = 0; i < kCalls; ++i) {
      loop.Post([&, i] {
        if (std::this_thread::get_id() != loop_thread) other_thread_ran_call = true;
        seen.push_back(i);
      });
    }
  });
  EXPECT_TRUE(loop.RunUntil([&] { return seen.size() == kCalls; }, 20s));
  poster.join();
  EXPECT_FALSE(other_thread_ran_call);
  for (int i = 0; i < kCalls; ++i) ASSERT_EQ(seen[i], i);
}

TEST(EventLoop, StopsWhenDoneAndKeepsTheRestForLater) {
  TEventLoop loop;
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) loop.Post([&, i] { seen.push_back(i); });
  EXPECT_TRUE(loop.RunUntil([&] { return seen.size() == 2; }, 1s));
  EXPECT_EQ(seen, (std::vector<int>{0, 1}));
  loop.Post([&] { seen.push_back(5); });
  EXPECT_EQ(loop.ProcessPending(), 4u);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(EventLoop, TimesOutWhenNothingMakesItDoneAndCallsIdleHook) {
  TEventLoop loop;
  int idle = 0;
  loop.OnIdle = [&] { ++idle; };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 50ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_GE(idle, 1);
}

}  // namespace
