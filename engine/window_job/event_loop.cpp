#include "engine/window_job/event_loop.h"

#include <utility>

namespace movrek {

void TEventLoop::Post(std::function<void()> call) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(call));
  }
  posted_.notify_one();
}

std::size_t TEventLoop::ProcessPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> guard(lock_);
    batch.swap(queue_);
  }
  for (auto& call : batch) {
    call();
  }
  return batch.size();
}

bool TEventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::deque<std::function<void()>> batch;
  for (;;) {
    if (done()) {
      return true;
    }
    {
      std::unique_lock<std::mutex> guard(lock_);
      if (queue_.empty()) {
        guard.unlock();
        if (OnIdle) {
          OnIdle();
        }
        guard.lock();
        if (!posted_.wait_until(guard, deadline, [this] { return !queue_.empty(); })) {
          return done();
        }
      }
      batch.swap(queue_);
    }
    // Taking the whole queue at once keeps the lock out of the way of a
    // worker that posts thousands of result lines.
    while (!batch.empty()) {
      auto call = std::move(batch.front());
      batch.pop_front();
      call();
      if (done()) {
        // Calls not run yet go back in front, in order, for a later run.
        if (!batch.empty()) {
          std::lock_guard<std::mutex> guard(lock_);
          for (auto it = batch.rbegin(); it != batch.rend(); ++it) {
            queue_.push_front(std::move(*it));
          }
        }
        return true;
      }
    }
  }
}

}  // namespace movrek
