// Which line of the list a free worker of the parallel job takes next: the
// earliest one whose host has room now (a place within its capacity, and its
// delay and any pause it asked for over). A list sorted by host thus keeps
// every worker busy instead of queueing them behind one host. It reads no
// further than the ordered output lets the workers run ahead, so the lines
// it holds and the pages they become stay bounded, and the output keeps the
// order of the list. Any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "engine/parallel/host_limiter.h"
#include "engine/parallel/host_schedule.h"
#include "engine/parallel/line_source.h"
#include "engine/parallel/ordered_output.h"

namespace movrek {

struct TScheduledLine {
  TJobLine Line;
  std::size_t Index = 0;  // 0-based place in the list
  std::string Host;       // as HostOfAddress gives it; empty for a line not fetched
};

class TLineScheduler {
 public:
  using TClock = std::chrono::steady_clock;

  // Borrows all four; `output` must outlive the scheduler's last Take, and
  // its room listener becomes the scheduler's. `capacity` is asked under
  // the scheduler's lock and must not call back into it.
  TLineScheduler(TLineSource& source, TOrderedOutput& output, THostSchedule& schedule,
                 THostCapacity capacity, std::size_t maxWaitingBytes);
  ~TLineScheduler();
  TLineScheduler(const TLineScheduler&) = delete;
  TLineScheduler& operator=(const TLineScheduler&) = delete;

  // The earliest line that may start now, its host's place taken and its
  // turn booked; waits for one until `until`. Nothing at the end of the
  // list, once closed, or at `until`. Tells the output the list's length
  // when the source ends.
  std::optional<TScheduledLine> Take(TClock::time_point until = TClock::time_point::max());
  // The line's transfer is over: its host's place is free again.
  void Finish(const TScheduledLine& line);
  // No line after `index` starts any more (an error ended the job there).
  // Lines before it still do: the writer waits for them.
  void StopAfter(std::size_t index);
  // Wakes and refuses every waiter; a source waiting for input gives up.
  void Close();
  // Some host's capacity has grown: waiting workers look again.
  void CapacityChanged();

 private:
  struct TWaiting {
    TJobLine Line;
    std::size_t Index = 0;
  };
  using TLock = std::unique_lock<std::mutex>;

  // Under lock_: hands out the earliest line that may start at `now`, or
  // notes in `wake` when a host held back by its schedule may start.
  std::optional<TScheduledLine> Pick(TClock::time_point now, TClock::time_point& wake);
  TScheduledLine Remove(std::map<std::size_t, std::string>::iterator front);
  // Under lock_: one more line could be read within the bounds.
  bool MayRead() const;
  // Reads one line with lock_ released meanwhile.
  void ReadOne(TLock& guard);
  void Add(TJobLine line);
  bool Ended() const;

  TLineSource& source_;
  TOrderedOutput& output_;
  THostSchedule& schedule_;
  const std::size_t max_waiting_bytes_;
  std::atomic<bool> closed_{false};  // also read by the source while it waits
  std::mutex lock_;
  std::condition_variable changed_;
  THostLimiter limiter_;  // guarded by lock_
  // The lines read and not handed out, by host, each host's in list order;
  // `fronts_` names the host of each first line, so that walking it visits
  // the hosts in the order of their earliest line. Guarded by lock_.
  std::map<std::string, std::deque<TWaiting>> waiting_;
  std::map<std::size_t, std::string> fronts_;
  std::size_t waiting_bytes_ = 0;  // of the texts in waiting_
  std::size_t read_ = 0;           // lines read so far
  bool reading_ = false;           // a worker reads the source, lock_ released
  bool exhausted_ = false;
  std::size_t stop_at_ = std::numeric_limits<std::size_t>::max();  // no line from here on
};

}  // namespace movrek
