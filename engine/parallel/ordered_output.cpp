#include "engine/parallel/ordered_output.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace movrek {
namespace {

std::size_t BytesOf(const std::vector<std::string>& lines) {
  std::size_t bytes = lines.capacity() * sizeof(std::string);
  for (const std::string& line : lines) {
    bytes += line.capacity();
  }
  return bytes;
}

}  // namespace

std::size_t HeldBytesOf(const TPageResult& page) {
  std::size_t bytes = sizeof(TPageResult) + BytesOf(page.Links) + BytesOf(page.Messages) +
                      page.Anchors.capacity() * sizeof(TPageResult::TAnchor);
  for (const TPageResult::TAnchor& anchor : page.Anchors) {
    bytes += anchor.Text.capacity() + anchor.Rel.capacity();
  }
  return bytes;
}

bool TOrderedOutput::WaitForRoom(std::size_t index) {
  std::unique_lock<std::mutex> guard(lock_);
  room_made_.wait(guard, [&] { return closed_ || index < RoomEndHeld(); });
  return !closed_;
}

std::size_t TOrderedOutput::RoomEnd() {
  std::lock_guard<std::mutex> guard(lock_);
  return RoomEndHeld();
}

std::size_t TOrderedOutput::RoomEndHeld() const {
  const std::size_t end = next_ + ahead_;
  // Lines before the first page held are what the writer waits for: they
  // always go on, or the held pages would never drain.
  if (held_bytes_ >= held_limit_ && !done_.empty()) {
    return std::min(end, done_.begin()->first);
  }
  return end;
}

void TOrderedOutput::Put(std::size_t index, TPageResult page) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (closed_) {
      return;
    }
    held_bytes_ += HeldBytesOf(page);
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
  held_bytes_ -= std::min(held_bytes_, HeldBytesOf(page));
  ++next_;
  guard.unlock();
  RoomMade();
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
    held_bytes_ = 0;
  }
  page_done_.notify_all();
  RoomMade();
}

void TOrderedOutput::RoomMade() {
  room_made_.notify_all();
  if (room_listener_) {
    room_listener_();
  }
}

}  // namespace movrek
