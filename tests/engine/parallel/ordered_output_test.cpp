// The hand-over between workers and the writer: pages come out in list
// order, a worker waits while it is too far ahead, and Close frees everyone.
#include "engine/parallel/ordered_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

namespace movrek {
namespace {

using std::chrono::milliseconds;

TPageResult Page(std::size_t index) {
  TPageResult page;
  page.Line = "line " + std::to_string(index);
  return page;
}

// True when the future has its value within `wait`.
template <typename T>
bool Ready(std::future<T>& result, milliseconds wait) {
  return result.wait_for(wait) == std::future_status::ready;
}

TEST(OrderedOutput, PagesPutInAnyOrderComeOutInListOrder) {
  TOrderedOutput output(4);
  for (std::size_t index : {2, 0, 3, 1}) {
    output.Put(index, Page(index));
  }
  for (std::size_t index = 0; index < 4; ++index) {
    const auto page = output.Next(milliseconds(0));
    ASSERT_TRUE(page.has_value()) << index;
    EXPECT_EQ(page->Line, "line " + std::to_string(index));
  }
  EXPECT_FALSE(output.Next(milliseconds(20)).has_value()) << "nothing is left";
}

TEST(OrderedOutput, AWorkerWaitsWhileItIsAheadByTheBoundUntilTheNextPageIsWritten) {
  for (std::size_t ahead : {1, 3, 0}) {
    const std::size_t bound = ahead == 0 ? 1 : ahead;  // no room at all would stall the job
    TOrderedOutput output(ahead);
    for (std::size_t index = 0; index < bound; ++index) {
      EXPECT_TRUE(output.WaitForRoom(index)) << "ahead " << ahead << ", index " << index;
    }
    auto room = std::async(std::launch::async, [&] { return output.WaitForRoom(bound); });
    EXPECT_FALSE(Ready(room, milliseconds(50))) << "ahead " << ahead;
    // Pages done behind a missing one make no room: only a page written does.
    for (std::size_t index = 1; index < bound; ++index) {
      output.Put(index, Page(index));
    }
    EXPECT_FALSE(output.Next(milliseconds(0)).has_value());
    EXPECT_FALSE(Ready(room, milliseconds(50))) << "ahead " << ahead;
    output.Put(0, Page(0));
    ASSERT_TRUE(output.Next(milliseconds(1000)).has_value());
    ASSERT_TRUE(Ready(room, milliseconds(1000))) << "ahead " << ahead;
    EXPECT_TRUE(room.get());
  }
}

TEST(OrderedOutput, PagesHeldBeyondTheirBytesLetOnlyTheLinesBeforeThemStart) {
  TOrderedOutput output(100, 1);
  EXPECT_EQ(output.RoomEnd(), 100u);
  output.Put(3, Page(3));
  EXPECT_EQ(output.RoomEnd(), 3u);
  for (std::size_t index : {0, 1, 2}) {
    output.Put(index, Page(index));
  }
  for (std::size_t index = 0; index < 4; ++index) {
    ASSERT_TRUE(output.Next(milliseconds(0)).has_value()) << index;
  }
  EXPECT_EQ(output.RoomEnd(), 104u);
}

TEST(OrderedOutput, CloseWakesTheWaitingWorkersAndWriterAndDropsLaterPages) {
  TOrderedOutput output(1);
  output.Put(1, Page(1));  // waits behind page 0, which never comes
  std::vector<std::future<bool>> workers;
  for (std::size_t index : {1, 2, 5}) {
    workers.push_back(
        std::async(std::launch::async, [&, index] { return output.WaitForRoom(index); }));
  }
  auto writer = std::async(std::launch::async, [&] { return output.Next(std::chrono::hours(1)); });
  EXPECT_FALSE(Ready(writer, milliseconds(50)));
  output.Close();
  ASSERT_TRUE(Ready(writer, milliseconds(1000)));
  EXPECT_FALSE(writer.get().has_value());
  for (auto& worker : workers) {
    ASSERT_TRUE(Ready(worker, milliseconds(1000)));
    EXPECT_FALSE(worker.get());
  }
  output.Put(0, Page(0));
  EXPECT_FALSE(output.Next(milliseconds(0)).has_value()) << "a page put after Close is dropped";
  EXPECT_FALSE(output.WaitForRoom(0));
}

}  // namespace
}  // namespace movrek
