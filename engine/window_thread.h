// Carrying calls from the job's worker thread to the thread that owns the
// window. The window's controls may only be touched on that thread, and the
// job's changes must reach them in the order the job makes them, so every
// hand-off goes through one first-in, first-out queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace movrek {

// The thread that runs the window. A GUI toolkit implements it with its own
// queued-call mechanism; TEventLoop is a plain implementation for front ends
// without a toolkit and for tests.
class TWindowThread {
 public:
  virtual ~TWindowThread() = default;
  // Queues `call` to run on the window's thread after every call queued
  // before it. Callable from any thread; never waits for the call and never
  // runs it before returning (the caller may hold a lock the call takes).
  virtual void Post(std::function<void()> call) = 0;
};

// A queue of calls run by whichever thread calls RunUntil or ProcessPending;
// that thread is the window's thread.
class TEventLoop final : public TWindowThread {
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
