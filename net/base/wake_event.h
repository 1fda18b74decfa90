// Wakes a thread that waits on sockets, from another thread: the event's
// handle is waited on beside the sockets and turns readable when signalled.
#pragma once

#include "net/base/socket_api.h"

namespace movrek {

class TWakeEvent {
 public:
  // Throws std::system_error when the system has no handle to spare.
  TWakeEvent();
  ~TWakeEvent();
  TWakeEvent(const TWakeEvent&) = delete;
  TWakeEvent& operator=(const TWakeEvent&) = delete;

  [[nodiscard]] TSocket Handle() const { return handle_; }
  // Any thread; signals that come before the next Clear count as one.
  void Signal();
  // The waiting thread, before it looks at what it was woken for.
  void Clear();

 private:
  TSocket handle_;
};

}  // namespace movrek
