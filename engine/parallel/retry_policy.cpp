#include "engine/parallel/retry_policy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/parallel/parallel_limits.h"
#include "net/base/winsock_errors.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// Failures of the connection itself, which another try may not meet: the
// server was busy, restarting, or dropped an idle connection.
bool IsPassingSocketError(std::int32_t code) {
  switch (code) {
    case WSAENETUNREACH:
    case WSAENETRESET:
    case WSAECONNRESET:
    case WSAETIMEDOUT:
    case WSAECONNREFUSED:
    case WSAEHOSTDOWN:
    case WSAEHOSTUNREACH:
    case WSATRY_AGAIN:
      return true;
    default:
      return false;
  }
}

// Days from 1970-01-01 to the date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int MonthNumber(std::string_view name) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  const std::string lower = AsciiLower(std::string(name));
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (lower == kMonths[i]) {
      return static_cast<int>(i) + 1;
    }
  }
  return 0;
}

// "HH:MM:SS" as seconds of the day.
std::optional<int> TimeOfDay(std::string_view text) {
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') {
    return std::nullopt;
  }
  const auto hours = ParseDigits(text.substr(0, 2), 23);
  const auto minutes = ParseDigits(text.substr(3, 2), 59);
  const auto seconds = ParseDigits(text.substr(6, 2), 60);  // a leap second
  if (!hours || !minutes || !seconds) {
    return std::nullopt;
  }
  return static_cast<int>(*hours * 3600 + *minutes * 60 + *seconds);
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find_first_of(" ,-", at);
    const std::size_t stop = end == std::string_view::npos ? text.size() : end;
    if (stop > at) {
      words.push_back(text.substr(at, stop - at));
    }
    at = stop + 1;
  }
  return words;
}

}  // namespace

std::string RetryReason(const TRequestEnd& end) {
  if (end.Answered || end.HeadReceived) {
    const std::int32_t code = end.HttpStatus;
    const bool passing =
        code == 408 || code == 429 || code == 500 || code == 502 || code == 503 || code == 504;
    return passing && end.HeadReceived ? "HTTP " + std::to_string(code) : std::string();
  }
  if (!IsPassingSocketError(end.SocketError)) {
    return std::string();
  }
  return "socket error " + std::to_string(end.SocketError) + ", " + end.SocketErrorText;
}

std::optional<std::chrono::sys_seconds> ParseHttpDate(std::string_view text) {
  // The three forms hold the same fields in an order each of them fixes:
  // the day of the month always before the year.
  int month = 0;
  std::optional<int> time;
  std::vector<std::uint64_t> numbers;
  std::vector<std::size_t> widths;
  for (const std::string_view word : Words(text)) {
    if (const int named = MonthNumber(word); named != 0) {
      month = named;
    } else if (word.find(':') != std::string_view::npos) {
      time = TimeOfDay(word);
    } else if (const auto number = ParseDigits(word, 9999)) {
      numbers.push_back(*number);
      widths.push_back(word.size());
    }
  }
  if (month == 0 || !time || numbers.size() != 2 || numbers[0] < 1 || numbers[0] > 31) {
    return std::nullopt;
  }
  auto year = static_cast<std::int64_t>(numbers[1]);
  if (widths[1] == 2) {
    // RFC 9110 section 5.6.7: a two-digit year more than 50 years ahead is
    // in the past century.
    year += year < 70 ? 2000 : 1900;
  } else if (widths[1] != 4) {
    return std::nullopt;
  }
  const std::int64_t days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(numbers[0]));
  return std::chrono::sys_seconds(std::chrono::seconds(days * 86400 + *time));
}

std::optional<std::chrono::milliseconds> ParseRetryAfter(
    std::string_view value, std::chrono::system_clock::time_point now) {
  const std::string_view trimmed = TrimControls(value);
  // A year is far beyond any wait honoured; longer waits clamp to it.
  constexpr std::chrono::milliseconds kYear = std::chrono::hours(24 * 365);
  if (const auto seconds = ParseDigits(trimmed, kYear.count() / 1000, TDigitsOverflow::Clamp)) {
    return std::chrono::milliseconds(static_cast<std::int64_t>(*seconds) * 1000);
  }
  const auto date = ParseHttpDate(trimmed);
  if (!date) {
    return std::nullopt;
  }
  // In milliseconds since the epoch, which hold the year 9999 with room to
  // spare, where the clock's own nanoseconds end in 2262.
  const auto ahead =
      std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()) -
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
  return std::clamp(ahead, std::chrono::milliseconds(0), kYear);
}

std::chrono::milliseconds BackoffWait(int retry, double spread) {
  const int doublings = std::clamp(retry - 1, 0, 16);
  const double base =
      std::min<double>(kFirstRetryWaitMs * std::pow(2.0, doublings), kMaxRetryBackoffMs);
  const double spread_share = std::clamp(spread, -1.0, 1.0) * kRetryJitterShare;
  const double wait = std::min<double>(base * (1.0 + spread_share), kMaxRetryBackoffMs);
  return std::chrono::milliseconds(std::llround(wait));
}

std::string RetryLineText(int retry, int retries, std::chrono::milliseconds wait,
                          const std::string& reason) {
  const double seconds = static_cast<double>(wait.count()) / 1000.0;
  char text[32];
  if (seconds >= 10 || std::fmod(std::round(seconds * 10), 10) == 0) {
    std::snprintf(text, sizeof text, "%.0f", seconds);
  } else {
    std::snprintf(text, sizeof text, "%.1f", seconds);
  }
  return "  retry " + std::to_string(retry) + " of " + std::to_string(retries) + " in " + text +
         " s: " + reason;
}

}  // namespace movrek
