// Which failures of a request are tried again, how long to wait first, and
// what the server's Retry-After asks for.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace movrek {

// How one request ended, as far as a retry cares.
struct TRequestEnd {
  bool Answered = false;      // head and body read as framed
  bool HeadReceived = false;  // the whole response head arrived
  std::int32_t HttpStatus = 0;
  std::int32_t SocketError = 0;
  std::string SocketErrorText;
};

// Why the request is worth another try: "HTTP 503" for 408, 429, 500, 502,
// 503 and 504; "socket error N, TEXT" for a connect that failed or a reset
// or time-out before the response head. Empty when it is not.
std::string RetryReason(const TRequestEnd& end);

// The answers after which the whole host waits, not just the request.
constexpr bool PausesHost(std::int32_t httpStatus) {
  return httpStatus == 429 || httpStatus == 503;
}

// A date as HTTP writes it (RFC 9110 section 5.6.7): IMF-fixdate, and the
// obsolete RFC 850 and asctime forms; always GMT. Whole seconds, so that
// any four-digit year fits.
std::optional<std::chrono::sys_seconds> ParseHttpDate(std::string_view text);

// A Retry-After value (RFC 9110 section 10.2.3), seconds or a date, as the
// wait from `now`; a date already past is no wait, and a wait beyond a
// year (a date in the year 9999) is a year. Nothing when the value is
// neither.
std::optional<std::chrono::milliseconds> ParseRetryAfter(std::string_view value,
                                                         std::chrono::system_clock::time_point now);

// The wait before retry number `retry` (1 for the first): doubling from
// kFirstRetryWaitMs up to kMaxRetryBackoffMs, moved by `spread` (from -1 to
// 1) times kRetryJitterShare of itself.
std::chrono::milliseconds BackoffWait(int retry, double spread);

// "  retry 1 of 2 in 4 s: HTTP 503" (tenths of a second below ten seconds).
std::string RetryLineText(int retry, int retries, std::chrono::milliseconds wait,
                          const std::string& reason);

}  // namespace movrek
