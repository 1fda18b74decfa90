// Carrying calls from the job's worker thread to the thread that owns the
// window. The window's controls may only be touched on that thread, and the
// job's changes must reach them in the order the job makes them, so every
// hand-off goes through one first-in, first-out queue.
#pragma once

#include <functional>

namespace movrek {

// The queue of calls the window's thread runs. A GUI toolkit implements it
// with its own queued-call mechanism; TEventLoop (event_loop.h) is a plain implementation
// for front ends without a toolkit and for tests.
class TCallQueue {
 public:
  virtual ~TCallQueue() = default;
  // Queues `call` to run on the window's thread after every call queued
  // before it. Callable from any thread; never waits for the call and never
  // runs it before returning (the caller may hold a lock the call takes).
  virtual void Post(std::function<void()> call) = 0;
};

}  // namespace movrek
