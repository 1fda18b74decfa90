// Which line a free worker gets: the earliest whose host has room, within
// the run-ahead and the bytes read ahead, never one after a stop.
#include "engine/parallel/line_scheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace movrek {
namespace {

using namespace std::chrono_literals;
using TClock = TLineScheduler::TClock;

// One line per letter, each letter a host ("a" is http://a.test/); "!" is
// a line the source refused, which is not fetched.
std::unique_ptr<TLineSource> Lines(const std::string& hosts) {
  class TSource final : public TLineSource {
   public:
    explicit TSource(std::string hosts) : hosts_(std::move(hosts)) {}
    std::optional<TJobLine> Next(const std::function<bool()>& /*stopped*/) override {
      if (next_ >= hosts_.size()) {
        return std::nullopt;
      }
      TJobLine line;
      line.Text = "http://" + std::string(1, hosts_[next_]) + ".test/" + std::to_string(next_);
      if (hosts_[next_] == '!') {
        line.Record.emplace();
      }
      ++next_;
      return line;
    }
    std::int64_t Total() const override { return static_cast<std::int64_t>(hosts_.size()); }

   private:
    std::string hosts_;
    std::size_t next_ = 0;
  };
  return std::make_unique<TSource>(hosts);
}

// A scheduler over the lines of Lines(hosts) and what it borrows.
struct TScheduled {
  explicit TScheduled(const std::string& hosts, int capacity = 1, std::size_t ahead = 100,
                      std::chrono::milliseconds delay = 0ms, std::size_t waitingBytes = 1 << 20)
      : source(Lines(hosts)),
        output(ahead),
        schedule(delay),
        scheduler(*source, output, schedule, SameCapacityForAll(capacity), waitingBytes) {}

  std::unique_ptr<TLineSource> source;
  TOrderedOutput output;
  THostSchedule schedule;
  TLineScheduler scheduler;
};

// The indices handed out now, one Take after another, none finished.
std::vector<std::size_t> TakeAllNow(TLineScheduler& scheduler,
                                    std::vector<TScheduledLine>* taken = nullptr) {
  std::vector<std::size_t> indices;
  while (std::optional<TScheduledLine> line = scheduler.Take(TClock::now())) {
    indices.push_back(line->Index);
    if (taken != nullptr) taken->push_back(std::move(*line));
  }
  return indices;
}

TEST(LineScheduler, AFreeWorkerTakesTheEarliestLineWhoseHostHasRoom) {
  const struct {
    const char* hosts;
    int capacity;
    std::size_t ahead;
    std::size_t waiting_bytes;
    std::vector<std::size_t> taken;
  } cases[] = {
      {"aaabbc", 1, 100, 1 << 20, {0, 3, 5}},
      {"aaabbc", 2, 100, 1 << 20, {0, 1, 3, 4, 5}},
      {"aa!ab", 1, 100, 1 << 20, {0, 2, 4}},
      // Host b lies beyond the run-ahead, or beyond the text read ahead.
      {"aaabbc", 1, 3, 1 << 20, {0}},
      {"aaabbc", 1, 100, 1, {0}},
  };
  for (const auto& c : cases) {
    TScheduled s(c.hosts, c.capacity, c.ahead, 0ms, c.waiting_bytes);
    EXPECT_EQ(TakeAllNow(s.scheduler), c.taken) << c.hosts << " ahead " << c.ahead;
  }
}

TEST(LineScheduler, FinishedLinesAndWrittenPagesMakeRoom) {
  TScheduled s("aaab", 1, 3);
  TLineScheduler& scheduler = s.scheduler;
  std::vector<TScheduledLine> taken;
  EXPECT_EQ(TakeAllNow(scheduler, &taken), std::vector<std::size_t>{0});
  scheduler.Finish(taken[0]);
  EXPECT_EQ(TakeAllNow(scheduler, &taken), std::vector<std::size_t>{1});
  s.output.Put(0, TPageResult{});
  ASSERT_TRUE(s.output.Next(0ms).has_value());
  EXPECT_EQ(TakeAllNow(scheduler, &taken), std::vector<std::size_t>{3});
  // A worker waiting for room wakes when the host's place is free.
  std::thread finisher([&] {
    std::this_thread::sleep_for(50ms);
    scheduler.Finish(taken[1]);
  });
  const std::optional<TScheduledLine> line = scheduler.Take(TClock::now() + 5s);
  finisher.join();
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(line->Index, 2u);
}

TEST(LineScheduler, AHostHeldBackByItsDelayOrPauseLetsOthersGoFirst) {
  for (const bool paused : {false, true}) {
    TScheduled s("aab", 4, 100, paused ? 0ms : 10s);
    if (paused) s.schedule.PauseUntil("a.test:80", TClock::now() + 10s);
    const std::vector<std::size_t> expected =
        paused ? std::vector<std::size_t>{2} : std::vector<std::size_t>{0, 2};
    EXPECT_EQ(TakeAllNow(s.scheduler), expected) << paused;
    // The turn the scheduler booked is the request's own: it starts at once.
    EXPECT_EQ(s.schedule.TryStart("a.test:80", TClock::now()).has_value(), paused) << paused;
  }
}

TEST(LineScheduler, AfterAStopOnlyTheLinesBeforeItAreHandedOut) {
  TScheduled s("aabb");
  TLineScheduler& scheduler = s.scheduler;
  std::vector<TScheduledLine> taken;
  EXPECT_EQ(TakeAllNow(scheduler, &taken), (std::vector<std::size_t>{0, 2}));
  scheduler.StopAfter(2);
  scheduler.Finish(taken[0]);
  scheduler.Finish(taken[1]);
  EXPECT_EQ(TakeAllNow(scheduler), std::vector<std::size_t>{1});
  // Nothing is left before the stop: the end comes without a wait.
  const TClock::time_point asked = TClock::now();
  EXPECT_FALSE(scheduler.Take().has_value());
  EXPECT_LT(TClock::now() - asked, 1s);
}

}  // namespace
}  // namespace movrek
