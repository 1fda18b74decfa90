#include "app/background_work.h"

#include <QApplication>
#include <QCursor>
#include <exception>

namespace movrek::app {

TBusyCursor::TBusyCursor() {
  QApplication::setOverrideCursor(Qt::BusyCursor);
}

TBusyCursor::~TBusyCursor() {
  QApplication::restoreOverrideCursor();
}

TBackgroundWork::~TBackgroundWork() {
  for (TTask& task : tasks_) {
    task.Thread.join();
  }
}

void TBackgroundWork::Run(std::function<TWorkResult()> work,
                          std::function<void(TWorkResult&)> done) {
  TTask& task = tasks_.emplace_back();
  task.Done = std::move(done);
  task.Thread = std::thread([this, &task, work = std::move(work)] {
    TWorkResult result;
    try {
      result = work();
    } catch (const std::exception& error) {
      result.Error = error.what();
    }
    {
      const std::lock_guard<std::mutex> hold(lock_);
      task.Result = std::move(result);
      task.Finished = true;
    }
    // Queued to the receiver: dropped unseen if it is gone by then (it
    // joins this thread first).
    QMetaObject::invokeMethod(
        receiver_, [this] { Deliver(); }, Qt::QueuedConnection);
  });
}

void TBackgroundWork::Deliver() {
  while (!tasks_.empty()) {
    TTask& task = tasks_.front();
    {
      const std::lock_guard<std::mutex> hold(lock_);
      if (!task.Finished) {
        return;
      }
    }
    task.Thread.join();
    TWorkResult result = std::move(task.Result);
    const std::function<void(TWorkResult&)> done = std::move(task.Done);
    tasks_.pop_front();
    done(result);
  }
}

}  // namespace movrek::app
