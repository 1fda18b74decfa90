#include "app/qt_window_thread.h"

#include <utility>

namespace movrek::app {

void TQtWindowThread::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(receiver_, std::move(call), Qt::QueuedConnection);
}

}  // namespace movrek::app
