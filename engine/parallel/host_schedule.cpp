#include "engine/parallel/host_schedule.h"

#include <algorithm>

#include "engine/parallel/parallel_limits.h"

namespace movrek {

std::optional<THostSchedule::TClock::time_point> THostSchedule::TryStart(const std::string& host,
                                                                         TClock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto claimed = hosts_.find(host);
  if (claimed != hosts_.end() && claimed->second.Claimed) {
    THostTimes& times = claimed->second;
    // A pause asked for since the claim still holds.
    if (now < times.PausedUntil) {
      return times.PausedUntil;
    }
    // The turn began no earlier than the claim, so the next one keeps at
    // least the delay from this start.
    times.Claimed = false;
    times.LastStart = times.LastStart ? std::max(*times.LastStart, now) : now;
    return std::nullopt;
  }
  return Book(host, now);
}

std::optional<THostSchedule::TClock::time_point> THostSchedule::Claim(const std::string& host,
                                                                      TClock::time_point now) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::optional<TClock::time_point> later = Book(host, now);
  if (!later && delay_.count() > 0) {
    hosts_[host].Claimed = true;
  }
  return later;
}

std::optional<THostSchedule::TClock::time_point> THostSchedule::Book(const std::string& host,
                                                                     TClock::time_point now) {
  const auto found = hosts_.find(host);
  if (found != hosts_.end()) {
    const THostTimes& times = found->second;
    TClock::time_point earliest = times.PausedUntil;
    if (times.LastStart) {
      earliest = std::max(earliest, *times.LastStart + delay_);
    }
    if (now < earliest) {
      return earliest;
    }
  } else if (delay_.count() <= 0) {
    // Nothing to remember: without a delay only a pause holds a host back.
    return std::nullopt;
  }
  Prune(now);
  hosts_[host].LastStart = now;
  return std::nullopt;
}

void THostSchedule::PauseUntil(const std::string& host, TClock::time_point until) {
  std::lock_guard<std::mutex> guard(lock_);
  THostTimes& times = hosts_[host];
  times.PausedUntil = std::max(times.PausedUntil, until);
}

void THostSchedule::Prune(TClock::time_point now) {
  if (hosts_.size() < kMaxScheduledHosts) {
    return;
  }
  std::erase_if(hosts_, [&](const auto& entry) {
    const THostTimes& times = entry.second;
    return times.PausedUntil <= now && (!times.LastStart || *times.LastStart + delay_ <= now);
  });
}

}  // namespace movrek
