#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net/http/http_transaction.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using Clock = std::chrono::steady_clock;

TEST(AbortTransfer, FromAnotherThreadEndsTheBodyWith10053) {
  test::ScriptedServer server;
  // 50 MB announced, then a trickle: the transfer is in the middle of the
  // body whenever the abort comes.
  server.ReadRequest()
      .Send("HTTP/1.0 200 OK\r\nContent-Length: 50000000\r\n\r\n")
      .SendSplit(std::string(4 << 20, 'x'), 1024, 5);
  server.Start();

  std::atomic<int64_t> received{0};  // outlives the transaction and its events
  THttpTransaction http;
  http.Sock->OnStatus = [&received](TBlockSocket*, THookSocketReason reason,
                                    const std::string& value) {
    if (reason == HR_ReadCount) received += std::stoll(value);
  };
  std::atomic<int64_t> aborted_at_ns{0};
  std::thread aborter([&] {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (received.load() < 20000 && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    aborted_at_ns = Clock::now().time_since_epoch().count();
    http.AbortTransfer();
  });

  const bool ok = http.PerformRequest("GET", server.Url("/big"));
  const int64_t returned_at_ns = Clock::now().time_since_epoch().count();
  aborter.join();

  EXPECT_FALSE(ok);
  EXPECT_EQ(http.Sock->LastErrorCode, 10053);
  EXPECT_EQ(http.Sock->LastErrorText, "Software caused connection abort");
  EXPECT_EQ(http.ResultCode, 200);
  EXPECT_LT(http.Document.size(), size_t{50000000});
  EXPECT_LT(std::chrono::nanoseconds(returned_at_ns - aborted_at_ns.load()),
            std::chrono::seconds(2));
}

}  // namespace
}  // namespace movrek
