#include "engine/pipeline/background_scan.h"

#include <utility>

#include "engine/listing/page_links.h"
#include "engine/pipeline/pipeline_limits.h"

namespace movrek {

namespace {

// Emptied pieces kept for reuse: fresh memory costs a page fault per page.
constexpr std::size_t kSparePieces = 4;

}  // namespace

TBackgroundScan::TBackgroundScan(TPageLinks& links) : links_(links) {}

TBackgroundScan::~TBackgroundScan() {
  if (!thread_.joinable()) {
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

void TBackgroundScan::Restart(std::string contentType, std::string address) {
  if (thread_.joinable()) {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.clear();
    waiting_bytes_ = 0;
    WaitIdle(lock);
    failure_ = nullptr;
  }
  fed_ = 0;
  links_.Restart(std::move(contentType), std::move(address));
}

void TBackgroundScan::Feed(std::string_view bytes) {
  fed_ += static_cast<std::int64_t>(bytes.size());
  if (!thread_.joinable()) {
    if (fed_ <= kScanBesideFromBytes) {
      links_.Feed(bytes);
      return;
    }
    thread_ = std::thread([this] { Run(); });
  }
  std::unique_lock<std::mutex> lock(mutex_);
  const auto has_room = [this] {
    return waiting_.empty() || waiting_bytes_ < kMaxWaitingScanBytes;
  };
  if (!has_room()) {
    lock.unlock();
    links_.ResolveFound();
    lock.lock();
    changed_.wait(lock, has_room);
  }
  std::string piece;
  if (!spare_.empty()) {
    piece = std::move(spare_.back());
    spare_.pop_back();
  }
  piece.assign(bytes);
  waiting_bytes_ += static_cast<std::int64_t>(piece.size());
  waiting_.push_back(std::move(piece));
  lock.unlock();
  changed_.notify_all();
}

void TBackgroundScan::Finish() {
  if (!thread_.joinable()) {
    return;
  }
  links_.ResolveFound();
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
  if (failure_) {
    std::rethrow_exception(std::exchange(failure_, nullptr));
  }
}

void TBackgroundScan::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return waiting_.empty() && !scanning_; });
}

void TBackgroundScan::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || !waiting_.empty(); });
    if (stop_) {
      return;
    }
    std::string piece = std::move(waiting_.front());
    waiting_.pop_front();
    waiting_bytes_ -= static_cast<std::int64_t>(piece.size());
    scanning_ = true;
    // After a failure the body's scan is over; Finish reports it.
    const bool failed = failure_ != nullptr;
    lock.unlock();
    if (!failed) {
      try {
        links_.Feed(piece);
      } catch (...) {
        failure_ = std::current_exception();
      }
    }
    lock.lock();
    scanning_ = false;
    if (spare_.size() < kSparePieces) {
      piece.clear();
      spare_.push_back(std::move(piece));
    }
    lock.unlock();
    changed_.notify_all();
    lock.lock();
  }
}

}  // namespace movrek
