#pragma once

#include <atomic>
#include <functional>
#include <utility>

#include "engine/window_job/event_loop.h"

namespace movrek::testing {

// The window's thread as an event loop runs it, counting the hand-offs made
// to it.
class TCountingThread final : public TCallQueue {
 public:
  explicit TCountingThread(TEventLoop& loop) : loop_(loop) {}
  void Post(std::function<void()> call) override {
    ++HandOffs;
    loop_.Post(std::move(call));
  }
  std::atomic<int> HandOffs{0};

 private:
  TEventLoop& loop_;
};

}  // namespace movrek::testing
