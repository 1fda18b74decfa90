#include "engine/parallel/line_scheduler.h"

#include <algorithm>
#include <utility>

#include "engine/pipeline/process_url.h"

namespace movrek {

TLineScheduler::TLineScheduler(TLineSource& source, TOrderedOutput& output, THostSchedule& schedule,
                               THostCapacity capacity, std::size_t maxWaitingBytes)
    : source_(source),
      output_(output),
      schedule_(schedule),
      max_waiting_bytes_(maxWaitingBytes),
      limiter_(std::move(capacity)) {
  output_.OnRoomMade([this] {
    // Taken and let go, so that a worker between its look at the room and
    // its wait cannot miss the news.
    { std::lock_guard<std::mutex> guard(lock_); }
    changed_.notify_all();
  });
}

TLineScheduler::~TLineScheduler() {
  output_.OnRoomMade(nullptr);
}

std::optional<TScheduledLine> TLineScheduler::Take(TClock::time_point until) {
  TLock guard(lock_);
  for (;;) {
    if (closed_) {
      return std::nullopt;
    }
    const TClock::time_point now = TClock::now();
    TClock::time_point wake = TClock::time_point::max();
    if (std::optional<TScheduledLine> line = Pick(now, wake)) {
      return line;
    }
    if (MayRead()) {
      ReadOne(guard);
      continue;
    }
    if (Ended() || now >= until) {
      return std::nullopt;
    }
    const TClock::time_point deadline = std::min(wake, until);
    if (deadline == TClock::time_point::max()) {
      changed_.wait(guard);
    } else {
      changed_.wait_until(guard, deadline);
    }
  }
}

std::optional<TScheduledLine> TLineScheduler::Pick(TClock::time_point now,
                                                   TClock::time_point& wake) {
  const std::size_t limit = std::min(output_.RoomEnd(), stop_at_);
  for (auto front = fronts_.begin(); front != fronts_.end() && front->first < limit; ++front) {
    const std::string& host = front->second;
    if (host.empty()) {
      return Remove(front);
    }
    if (!limiter_.HasRoom(host)) {
      continue;
    }
    if (const std::optional<TClock::time_point> later = schedule_.Claim(host, now)) {
      wake = std::min(wake, *later);
      continue;
    }
    limiter_.Acquire(host);
    return Remove(front);
  }
  return std::nullopt;
}

TScheduledLine TLineScheduler::Remove(std::map<std::size_t, std::string>::iterator front) {
  TScheduledLine taken;
  taken.Host = std::move(front->second);
  fronts_.erase(front);
  const auto queue = waiting_.find(taken.Host);
  TWaiting& first = queue->second.front();
  taken.Line = std::move(first.Line);
  taken.Index = first.Index;
  queue->second.pop_front();
  if (queue->second.empty()) {
    waiting_.erase(queue);
  } else {
    fronts_.emplace(queue->second.front().Index, taken.Host);
  }
  waiting_bytes_ -= taken.Line.Text.size();
  return taken;
}

bool TLineScheduler::MayRead() const {
  return !reading_ && !exhausted_ && read_ < std::min(output_.RoomEnd(), stop_at_) &&
         waiting_bytes_ < max_waiting_bytes_;
}

void TLineScheduler::ReadOne(TLock& guard) {
  reading_ = true;
  guard.unlock();
  std::optional<TJobLine> line = source_.Next([this] { return closed_.load(); });
  guard.lock();
  reading_ = false;
  if (line) {
    Add(std::move(*line));
  } else {
    exhausted_ = true;
    if (!closed_) {
      output_.SetEnd(read_);
    }
  }
  // Whoever waited for the reader may read on, or take the line.
  changed_.notify_all();
}

void TLineScheduler::Add(TJobLine line) {
  const std::size_t index = read_++;
  std::string host = line.Record ? std::string() : HostOfAddress(NormaliseAddress(line.Text));
  waiting_bytes_ += line.Text.size();
  std::deque<TWaiting>& queue = waiting_[host];
  if (queue.empty()) {
    fronts_.emplace(index, std::move(host));
  }
  queue.push_back(TWaiting{std::move(line), index});
}

bool TLineScheduler::Ended() const {
  const bool none_waiting = fronts_.empty() || fronts_.begin()->first >= stop_at_;
  const bool none_to_read = exhausted_ || read_ >= stop_at_;
  return none_waiting && none_to_read && !reading_;
}

void TLineScheduler::Finish(const TScheduledLine& line) {
  if (line.Host.empty()) {
    return;
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    limiter_.Release(line.Host);
  }
  changed_.notify_all();
}

void TLineScheduler::StopAfter(std::size_t index) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_at_ = std::min(stop_at_, index + 1);
  }
  changed_.notify_all();
}

void TLineScheduler::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
  }
  changed_.notify_all();
}

void TLineScheduler::CapacityChanged() {
  { std::lock_guard<std::mutex> guard(lock_); }
  changed_.notify_all();
}

}  // namespace movrek
