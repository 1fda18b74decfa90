#include "net/http/h2_stream.h"

#include <algorithm>
#include <charconv>

#include "net/http/h2_limits.h"

namespace movrek {

void TH2Stream::AddField(std::string_view name, std::string_view value) {
  std::lock_guard<std::mutex> guard(lock_);
  answered_ = true;
  if (head_done_) {
    return;  // trailer fields: nothing here reads them
  }
  if (name == ":status") {
    reading_.clear();
    reading_status_ = 0;
    std::from_chars(value.data(), value.data() + value.size(), reading_status_);
    return;
  }
  reading_.emplace_back(name, value);
}

void TH2Stream::EndHead() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    // RFC 9113 section 8.1: interim answers come before the final one.
    if (head_done_ || reading_status_ < 200) {
      return;
    }
    head_ = std::move(reading_);
    status_ = reading_status_;
    head_done_ = true;
  }
  changed_.notify_all();
}

void TH2Stream::AddBody(std::string_view bytes) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    body_.emplace_back(bytes);
  }
  changed_.notify_all();
}

void TH2Stream::Finish(TH2StreamEnd end, std::string reason) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (end_ != TH2StreamEnd::Open) {
      return;
    }
    end_ = end;
    reason_ = std::move(reason);
  }
  changed_.notify_all();
}

std::size_t TH2Stream::TakeConsumed() {
  std::lock_guard<std::mutex> guard(lock_);
  return std::exchange(consumed_, 0);
}

template <typename Ready>
TH2Wait TH2Stream::Await(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds timeout,
                         std::atomic<bool>& stop, Ready ready) {
  const auto until = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (stop.exchange(false)) {
      return TH2Wait::Stopped;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) {
      return TH2Wait::TimedOut;
    }
    // The stop is a plain flag that nobody signals: it is looked at often.
    changed_.wait_for(guard, std::min<std::chrono::steady_clock::duration>(
                                 until - now, std::chrono::milliseconds(kH2StopCheckMs)));
  }
  return TH2Wait::Ready;
}

TH2Wait TH2Stream::AwaitHead(std::chrono::milliseconds timeout, std::atomic<bool>& stop) {
  std::unique_lock<std::mutex> guard(lock_);
  return Await(guard, timeout, stop, [this] { return head_done_ || end_ != TH2StreamEnd::Open; });
}

TH2Wait TH2Stream::TakeBody(std::string& out, std::size_t most, std::chrono::milliseconds timeout,
                            std::atomic<bool>& stop) {
  std::unique_lock<std::mutex> guard(lock_);
  const TH2Wait wait =
      Await(guard, timeout, stop, [this] { return !body_.empty() || end_ != TH2StreamEnd::Open; });
  while (!body_.empty() && out.size() + body_.front().size() <= most) {
    out += body_.front();
    body_.pop_front();
  }
  if (out.empty() && !body_.empty()) {
    // A piece larger than asked for is split.
    std::string& front = body_.front();
    out.assign(front, 0, most);
    front.erase(0, most);
  }
  consumed_ += out.size();
  return wait;
}

int TH2Stream::Status() const {
  std::lock_guard<std::mutex> guard(lock_);
  return status_;
}

std::vector<TH2Stream::TField> TH2Stream::Head() const {
  std::lock_guard<std::mutex> guard(lock_);
  return head_;
}

TH2StreamEnd TH2Stream::End() const {
  std::lock_guard<std::mutex> guard(lock_);
  return end_;
}

std::string TH2Stream::Reason() const {
  std::lock_guard<std::mutex> guard(lock_);
  return reason_;
}

bool TH2Stream::Answered() const {
  std::lock_guard<std::mutex> guard(lock_);
  return answered_;
}

bool TH2Stream::Drained() const {
  std::lock_guard<std::mutex> guard(lock_);
  return body_.empty() && end_ != TH2StreamEnd::Open;
}

}  // namespace movrek
