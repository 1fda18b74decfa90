// The window's thread as the engine sees it, over Qt's queued calls.
#pragma once

#include <QObject>
#include <functional>

#include "engine/window_thread.h"

namespace movrek::app {

// Posts each call to the thread of `receiver` through its event queue, so
// calls run in the order posted and interleave with input and painting
// instead of holding the window. A call still queued when the receiver is
// destroyed is dropped with the receiver's pending events.
class TQtWindowThread final : public TWindowThread {
 public:
  explicit TQtWindowThread(QObject* receiver) : receiver_(receiver) {}
  void Post(std::function<void()> call) override;

 private:
  QObject* receiver_;  // borrowed; outlives every poster (see TForm1)
};

}  // namespace movrek::app
