// Work too long for the window's thread (reading a large file, building or
// filtering a large list), done on a thread of its own with the result
// handed back to the window's thread.
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace movrek::app {

// The busy cursor over the application while it lives.
struct TBusyCursor {
  TBusyCursor();
  ~TBusyCursor();
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// What a piece of work produced: text, or why there is none.
struct TWorkResult {
  std::string Text;
  std::string Error;       // empty on success
  bool Unchanged = false;  // the work found nothing to do
  bool Built = false;      // the text went into a document, not into Text
};

// Runs work off the window's thread with the busy cursor shown meanwhile.
// Results reach `receiver`'s thread in the order the work was started.
// Destruction waits for work still running; its results are dropped.
class TBackgroundWork {
 public:
  explicit TBackgroundWork(QObject* receiver) : receiver_(receiver) {}
  ~TBackgroundWork();
  TBackgroundWork(const TBackgroundWork&) = delete;
  TBackgroundWork& operator=(const TBackgroundWork&) = delete;

  // Window's thread. `work` runs on another thread (an exception it throws
  // becomes the result's Error); `done` then runs on the window's thread.
  void Run(std::function<TWorkResult()> work, std::function<void(TWorkResult&)> done);
  // Pieces of work started whose results were not handed back yet.
  std::size_t Pending() const { return tasks_.size(); }

 private:
  struct TTask {
    std::thread Thread;
    TWorkResult Result;
    bool Finished = false;  // guarded by lock_
    std::function<void(TWorkResult&)> Done;
    TBusyCursor Busy;
  };
  // Hands back the finished results at the front, in starting order.
  void Deliver();

  QObject* receiver_;  // borrowed; owns this object
  std::mutex lock_;
  std::list<TTask> tasks_;  // the list itself: window's thread only
};

}  // namespace movrek::app
