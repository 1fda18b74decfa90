#include "app/qt_window_thread.h"

#include <utility>

namespace movrek::app {

TQtWindowThread::~TQtWindowThread() {
  std::lock_guard<std::mutex> guard(lock_);
  calls_.clear();
}

void TQtWindowThread::Post(std::function<void()> call) {
  std::lock_guard<std::mutex> guard(lock_);
  calls_.push_back(std::move(call));
  ScheduleRun();
}

void TQtWindowThread::PostFront(std::function<void()> call) {
  std::lock_guard<std::mutex> guard(lock_);
  calls_.push_front(std::move(call));
  ScheduleRun();
}

bool TQtWindowThread::SliceUsed() const {
  return slice_.isValid() && slice_.elapsed() >= kSlice.count();
}

void TQtWindowThread::ScheduleRun() {
  if (scheduled_) {
    return;
  }
  scheduled_ = true;
  // One queued event stands for the whole queue; it is dropped with the
  // receiver's pending events if the receiver goes first.
  QMetaObject::invokeMethod(
      receiver_, [this] { Run(); }, Qt::QueuedConnection);
}

void TQtWindowThread::Run() {
  slice_.start();
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (calls_.empty()) {
        scheduled_ = false;
        break;
      }
      if (SliceUsed()) {
        // Behind whatever input and painting arrived meanwhile.
        scheduled_ = false;
        ScheduleRun();
        break;
      }
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
  }
  slice_.invalidate();
}

}  // namespace movrek::app
