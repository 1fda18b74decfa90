#include "engine/parallel/retry_policy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/base/winsock_errors.h"

namespace movrek {
namespace {

using namespace std::chrono_literals;

TEST(RetryPolicy, RetriesPassingFailuresOnly) {
  struct Case {
    TRequestEnd end;
    std::string reason;
  };
  const Case cases[] = {
      {{true, true, 503, 0, ""}, "HTTP 503"},
      {{true, true, 429, 0, ""}, "HTTP 429"},
      {{true, true, 408, 0, ""}, "HTTP 408"},
      {{false, true, 502, WSAECONNRESET, "Connection reset by peer"}, "HTTP 502"},
      {{true, true, 200, 0, ""}, ""},
      {{true, true, 404, 0, ""}, ""},
      {{true, true, 501, 0, ""}, ""},
      {{false, false, 500, WSAECONNREFUSED, "Connection refused"},
       "socket error 10061, Connection refused"},
      {{false, false, 500, WSAETIMEDOUT, "Connection timed out"},
       "socket error 10060, Connection timed out"},
      // A reset once the head is in, a name that does not exist, a stop: no.
      {{false, true, 200, WSAECONNRESET, "Connection reset by peer"}, ""},
      {{false, false, 500, WSAHOST_NOT_FOUND, "Host not found"}, ""},
      {{false, false, 500, WSAECONNABORTED, "Connection aborted"}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RetryReason(c.end), c.reason) << c.end.HttpStatus << " " << c.end.SocketError;
  }
}

TEST(RetryPolicy, RetryAfterInSecondsOrAsAnyHttpDate) {
  // 1994-11-06 08:49:37 GMT, the example of RFC 9110 section 5.6.7.
  const auto now = std::chrono::system_clock::time_point(784111777s - 10s);
  struct Case {
    const char* value;
    std::optional<std::chrono::milliseconds> wait;
  };
  const Case cases[] = {
      {"2", 2000ms},
      {" 120 ", 120000ms},
      {"0", 0ms},
      {"Sun, 06 Nov 1994 08:49:37 GMT", 10000ms},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 10000ms},
      {"Sun Nov  6 08:49:37 1994", 10000ms},
      {"Sun, 06 Nov 1994 08:49:17 GMT", 0ms},  // already past
      {"-1", std::nullopt},
      {"soon", std::nullopt},
      {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 25:49:37 GMT", std::nullopt},
      {"Sun, 06 Xyz 1994 08:49:37 GMT", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseRetryAfter(c.value, now), c.wait) << c.value;
  }
  // Far ahead: a year, whether in seconds or as a date past the clock's range.
  for (const char* far :
       {"99999999999999999999", "Fri, 31 Dec 9999 23:59:59 GMT", "Sat, 01 Jan 2300 00:00:00 GMT"}) {
    EXPECT_EQ(ParseRetryAfter(far, now), std::chrono::milliseconds(86400LL * 365 * 1000)) << far;
  }
}

TEST(RetryPolicy, BackoffDoublesToItsCeilingWithinTheSpread) {
  EXPECT_EQ(BackoffWait(1, 0), 1000ms);
  EXPECT_EQ(BackoffWait(2, 0), 2000ms);
  EXPECT_EQ(BackoffWait(5, 0), 16000ms);
  EXPECT_EQ(BackoffWait(6, 0), 30000ms);
  EXPECT_EQ(BackoffWait(40, 1), 30000ms);
  EXPECT_EQ(BackoffWait(3, -1), 3200ms);
  EXPECT_EQ(BackoffWait(3, 1), 4800ms);
}

TEST(RetryPolicy, RetryLineText) {
  EXPECT_EQ(RetryLineText(1, 2, 4000ms, "HTTP 503"), "  retry 1 of 2 in 4 s: HTTP 503");
  EXPECT_EQ(RetryLineText(2, 3, 1240ms, "HTTP 429"), "  retry 2 of 3 in 1.2 s: HTTP 429");
  EXPECT_EQ(RetryLineText(3, 3, 26400ms, "x"), "  retry 3 of 3 in 26 s: x");
}

}  // namespace
}  // namespace movrek
