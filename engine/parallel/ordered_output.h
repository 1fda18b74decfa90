// Pages finished by several workers in any order, handed on in the order of
// the list. Workers run at most `ahead` lines in front of the next page to
// be written, and while the finished pages held for later exceed
// `heldBytes`, only lines before the first of them start: what a slow page
// early in the list holds in memory stays bounded either way.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>

#include "engine/parallel/page_result.h"

namespace movrek {

class TOrderedOutput {
 public:
  explicit TOrderedOutput(std::size_t ahead,
                          std::size_t heldBytes = std::numeric_limits<std::size_t>::max())
      : ahead_(ahead == 0 ? 1 : ahead), held_limit_(heldBytes) {}

  // Worker side: waits until the page at `index` may be worked on. False
  // when the output was closed meanwhile.
  bool WaitForRoom(std::size_t index);
  // The first index whose work may not start now: lines before it may.
  std::size_t RoomEnd();
  // Called (outside the output's lock) whenever RoomEnd may have grown or
  // the output was closed; set before the workers start.
  void OnRoomMade(std::function<void()> listener) { room_listener_ = std::move(listener); }
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
  // Under lock_.
  std::size_t RoomEndHeld() const;
  void RoomMade();

  const std::size_t ahead_;
  const std::size_t held_limit_;
  std::function<void()> room_listener_;
  std::mutex lock_;
  std::condition_variable page_done_;
  std::condition_variable room_made_;
  std::map<std::size_t, TPageResult> done_;  // guarded by lock_
  std::size_t held_bytes_ = 0;               // of done_; guarded by lock_
  std::size_t next_ = 0;                     // guarded by lock_
  bool closed_ = false;                      // guarded by lock_
  std::optional<std::size_t> end_;           // guarded by lock_
};

// What a finished page takes in memory, near enough to bound many of them.
std::size_t HeldBytesOf(const TPageResult& page);

}  // namespace movrek
