// The window's thread as the engine sees it, over Qt's queued calls.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

#include "engine/window_job/call_queue.h"

namespace movrek::app {

// Runs posted calls on the thread of `receiver`, in the order posted, a time
// slice at a time: after each slice the rest waits behind the input and
// paint events that came meanwhile, so a flood of result lines never holds
// the window. Calls still queued when this object is destroyed are dropped.
class TQtWindowThread final : public TCallQueue {
 public:
  // How long one turn of the event loop may spend on queued calls.
  static constexpr std::chrono::milliseconds kSlice{20};

  explicit TQtWindowThread(QObject* receiver) : receiver_(receiver) {}
  ~TQtWindowThread() override;

  // Any thread.
  void Post(std::function<void()> call) override;
  // Window's thread only, from inside a call: runs `call` before every call
  // still queued, so a call can hand the rest of its work on without letting
  // anything posted later overtake it.
  void PostFront(std::function<void()> call);
  // Whether the current slice is used up (window's thread).
  bool SliceUsed() const;

 private:
  void ScheduleRun();  // lock_ held
  void Run();

  QObject* receiver_;  // borrowed; outlives every poster (see TForm1)
  std::mutex lock_;
  std::deque<std::function<void()>> calls_;  // guarded by lock_
  bool scheduled_ = false;                   // guarded by lock_
  QElapsedTimer slice_;                      // window's thread
};

}  // namespace movrek::app
