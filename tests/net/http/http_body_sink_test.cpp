// Bodies handed to a sink instead of Document: each framing arrives whole,
// an answer without head keeps its first line, a body-less answer still
// begins and ends, and a sink that stops leaves no connection to reuse.
#include "net/http/http_body_sink.h"

#include <gtest/gtest.h>

#include <string>

#include "net/http/http_transaction.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::ScriptedServer;

// Keeps what it is given, up to `stop_after` bytes.
class TRecordingSink final : public THttpBodySink {
 public:
  bool BeginBody(const THttpTransaction& http) override {
    body.clear();
    status = http.ResultCode;
    ++begun;
    return true;
  }
  bool TakeBody(std::string_view piece) override {
    body.append(piece);
    return body.size() < stop_after;
  }
  void EndBody() override { ++ended; }

  std::string body;
  int status = -1;
  int begun = 0;
  int ended = 0;
  size_t stop_after = size_t{1} << 30;
};

TEST(HttpBodySink, EveryFramingReachesTheSinkAndNotTheDocument) {
  const std::string big = test::PatternBytes(700000);
  const struct {
    const char* name;
    std::string answer;
    int status;
    std::string body;
  } cases[] = {
      {"counted", test::HttpResponse("200 OK", big), 200, big},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
       200, "abcde"},
      {"until close", "HTTP/1.0 200 OK\r\n\r\n" + big, 200, big},
      {"no head", "<html><a href=/x>\r\nsecond line", 0, "<html><a href=/x>\r\nsecond line"},
      {"no content", "HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n", 204, ""},
  };
  for (const auto& c : cases) {
    ScriptedServer server;
    server.ReadRequest().Send(c.answer).Close();
    server.Start();
    TRecordingSink sink;
    THttpTransaction http;
    http.BodySink = &sink;
    ASSERT_TRUE(http.PerformRequest("GET", server.Url("/"))) << c.name;
    EXPECT_EQ(sink.status, c.status) << c.name;
    EXPECT_TRUE(sink.body == c.body) << c.name << ": " << sink.body.size() << " bytes";
    EXPECT_EQ(sink.begun, 1) << c.name;
    EXPECT_EQ(sink.ended, 1) << c.name;
    EXPECT_TRUE(http.Document.empty()) << c.name;
  }
}

TEST(HttpBodySink, ASinkThatStopsClosesTheConnection) {
  ScriptedServer server;
  server.ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n")
      .SendLarge(100000000);
  server.Start();
  TRecordingSink sink;
  sink.stop_after = 1000;
  THttpTransaction http;
  http.Protocol = "1.1";
  http.BodySink = &sink;
  EXPECT_TRUE(http.PerformRequest("GET", server.Url("/")));
  EXPECT_GE(sink.body.size(), 1000u);
  EXPECT_LT(sink.body.size(), size_t{1} << 20);
  EXPECT_EQ(sink.ended, 0);
  EXPECT_TRUE(http.ConnectedHost.empty());
  EXPECT_TRUE(server.WaitDone(10000));
}

}  // namespace
}  // namespace movrek
