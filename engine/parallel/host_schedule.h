// When the next request to a host may start: at least the job's delay after
// the last one began, and not before a pause the host asked for (429, 503)
// is over. Any thread.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace movrek {

class THostSchedule {
 public:
  using TClock = std::chrono::steady_clock;

  explicit THostSchedule(std::chrono::milliseconds delay) : delay_(delay) {}

  // Books a request to `host` starting `now` and answers nothing, or answers
  // the time to ask again (nothing booked).
  std::optional<TClock::time_point> TryStart(const std::string& host, TClock::time_point now);
  // As TryStart, for a request about to be sent by whoever asks for the
  // host's next turn: that TryStart is answered at once and books its own
  // time in place of this one. A scheduler books this way before it hands
  // out a line, so that no two lines are handed out for one turn.
  std::optional<TClock::time_point> Claim(const std::string& host, TClock::time_point now);
  // No request to `host` starts before `until`.
  void PauseUntil(const std::string& host, TClock::time_point until);

 private:
  struct THostTimes {
    std::optional<TClock::time_point> LastStart;
    TClock::time_point PausedUntil{};
    bool Claimed = false;  // the next TryStart takes the turn booked
  };
  // TryStart under lock_.
  std::optional<TClock::time_point> Book(const std::string& host, TClock::time_point now);
  // Forgets the hosts that hold nothing back any more, once many are known.
  void Prune(TClock::time_point now);

  const std::chrono::milliseconds delay_;
  std::mutex lock_;
  std::map<std::string, THostTimes> hosts_;  // guarded by lock_
};

}  // namespace movrek
