#include "engine/parallel/ordered_output.h"

#include <utility>

namespace movrek {

bool TOrderedOutput::WaitForRoom(std::size_t index) {
  std::unique_lock<std::mutex> guard(lock_);
  room_made_.wait(guard, [&] { return closed_ || index < next_ + ahead_; });
  return !closed_;
}

void TOrderedOutput::Put(std::size_t index, TPageResult page) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) {
      return;
    }
    done_.emplace(index, std::move(page));
  }
  page_done_.notify_all();
}

std::optional<TPageResult> TOrderedOutput::Next(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> guard(lock_);
  const bool ready = page_done_.wait_for(guard, timeout, [&] {
    return closed_ || (end_ && next_ >= *end_) || (!done_.empty() && done_.begin()->first == next_);
  });
  if (!ready || closed_ || done_.empty() || done_.begin()->first != next_) {
    return std::nullopt;
  }
  TPageResult page = std::move(done_.begin()->second);
  done_.erase(done_.begin());
  ++next_;
  guard.unlock();
  room_made_.notify_all();
  return page;
}

void TOrderedOutput::SetEnd(std::size_t count) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    end_ = count;
  }
  page_done_.notify_all();
}

bool TOrderedOutput::Done() {
  std::lock_guard<std::mutex> guard(lock_);
  return end_ && next_ >= *end_;
}

void TOrderedOutput::Close() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    closed_ = true;
    done_.clear();
  }
  page_done_.notify_all();
  room_made_.notify_all();
}

}  // namespace movrek
