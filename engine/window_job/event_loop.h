#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "engine/window_job/call_queue.h"

namespace movrek {

// A queue of calls run by whichever thread calls RunUntil or ProcessPending;
// that thread is the window's thread.
class TEventLoop final : public TCallQueue {
 public:
  void Post(std::function<void()> call) override;

  // Runs queued calls, waiting for more when the queue is empty, until `done`
  // answers true (it is asked before waiting and after every call) or
  // `timeout` has passed. Returns the last answer of `done`.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Runs the calls queued at this moment without waiting; returns how many.
  std::size_t ProcessPending();

  // Called on the loop's thread each time the queue has run empty, before the
  // loop waits (a console front end flushes its output here).
  std::function<void()> OnIdle;

 private:
  std::mutex lock_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;  // guarded by lock_
};

}  // namespace movrek
