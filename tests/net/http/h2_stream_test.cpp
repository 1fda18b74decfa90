// What a page sees of its HTTP/2 stream: the final head past interim ones
// and trailers, body pieces within the size asked for, and waits that end
// at a stop or a time-out.
#include "net/http/h2_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace movrek {
namespace {

using namespace std::chrono_literals;

TEST(H2Stream, TheFinalHeadIsTheAnswer) {
  // "" as a name ends a head.
  using TFields = std::vector<TH2Stream::TField>;
  struct TCase {
    const char* Name;
    TFields Events;
    int Status;
    TFields Head;
  };
  const TCase cases[] = {
      {"plain", {{":status", "200"}, {"a", "1"}, {"", ""}}, 200, {{"a", "1"}}},
      {"interim first",
       {{":status", "103"}, {"link", "x"}, {"", ""}, {":status", "404"}, {"b", "2"}, {"", ""}},
       404,
       {{"b", "2"}}},
      {"trailers after", {{":status", "200"}, {"", ""}, {"t", "3"}, {"", ""}}, 200, {}},
      {"interim only", {{":status", "100"}, {"", ""}}, 0, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TH2Stream stream;
    for (const auto& [name, value] : c.Events) {
      if (name.empty()) {
        stream.EndHead();
      } else {
        stream.AddField(name, value);
      }
    }
    std::atomic<bool> stop{false};
    EXPECT_EQ(stream.AwaitHead(0ms, stop), c.Status != 0 ? TH2Wait::Ready : TH2Wait::TimedOut);
    EXPECT_EQ(stream.Status(), c.Status);
    EXPECT_EQ(stream.Head(), c.Head);
  }
}

TEST(H2Stream, BodyPiecesStayWithinTheSizeAskedForAndCountAsTaken) {
  TH2Stream stream;
  for (const char* piece : {"abc", "defgh", "ijklmnopqr"}) {
    stream.AddBody(piece);
  }
  stream.Finish(TH2StreamEnd::Complete, "");
  std::atomic<bool> stop{false};
  std::vector<std::string> taken;
  for (;;) {
    std::string out;
    ASSERT_EQ(stream.TakeBody(out, 6, 0ms, stop), TH2Wait::Ready);
    if (out.empty()) {
      break;
    }
    taken.push_back(out);
  }
  EXPECT_EQ(taken, (std::vector<std::string>{"abc", "defgh", "ijklmn", "opqr"}));
  EXPECT_EQ(stream.TakeConsumed(), 18u);
  EXPECT_EQ(stream.TakeConsumed(), 0u);
  EXPECT_TRUE(stream.Drained());
}

TEST(H2Stream, WaitsEndAtAStopOrTheTimeAndTheFirstEndCounts) {
  TH2Stream stream;
  std::atomic<bool> stop{true};
  EXPECT_EQ(stream.AwaitHead(10s, stop), TH2Wait::Stopped);
  EXPECT_FALSE(stop.load());  // consumed, as a socket consumes its stop
  const auto started = std::chrono::steady_clock::now();
  std::string out;
  EXPECT_EQ(stream.TakeBody(out, 10, 120ms, stop), TH2Wait::TimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  stream.Finish(TH2StreamEnd::Unprocessed, "refused");
  stream.Finish(TH2StreamEnd::Failed, "later");
  EXPECT_EQ(stream.AwaitHead(10s, stop), TH2Wait::Ready);
  EXPECT_EQ(stream.End(), TH2StreamEnd::Unprocessed);
  EXPECT_EQ(stream.Reason(), "refused");
}

}  // namespace
}  // namespace movrek
