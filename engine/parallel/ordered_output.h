// Pages finished by several workers in any order, handed on in the order of
// the list. Workers run at most `ahead` lines in front of the next page to
// be written, so a slow page early in the list holds at most that many
// finished pages in memory.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>

#include "engine/parallel/page_result.h"

namespace movrek {

class TOrderedOutput {
 public:
  explicit TOrderedOutput(std::size_t ahead) : ahead_(ahead == 0 ? 1 : ahead) {}

  // Worker side: waits until the page at `index` may be worked on. False
  // when the output was closed meanwhile.
  bool WaitForRoom(std::size_t index);
  // The page at `index` is done.
  void Put(std::size_t index, TPageResult page);

  // Writer side: the next page in list order, or nothing when it is not
  // done within `timeout` (or the output was closed).
  std::optional<TPageResult> Next(std::chrono::milliseconds timeout);

  // The list has `count` lines: once they are all handed on, Done says so.
  void SetEnd(std::size_t count);
  // Every page of the list was handed on.
  bool Done();

  // Wakes and refuses every waiter; pages put later are dropped.
  void Close();

 private:
  const std::size_t ahead_;
  std::mutex lock_;
  std::condition_variable page_done_;
  std::condition_variable room_made_;
  std::map<std::size_t, TPageResult> done_;  // guarded by lock_
  std::size_t next_ = 0;                     // guarded by lock_
  bool closed_ = false;                      // guarded by lock_
  std::optional<std::size_t> end_;           // guarded by lock_
};

}  // namespace movrek
