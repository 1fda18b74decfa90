#pragma once
// Shared by the socket tests: a status-event recorder and a connect helper.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "net/socket/block_socket.h"

namespace movrek::test {

using Event = std::pair<THookSocketReason, std::string>;

// Records every status event of a socket. Declare it before the socket: the
// socket's destructor still reports its close.
struct EventLog {
  std::vector<Event> events;
  void Attach(TBlockSocket& socket) {
    socket.OnStatus = [this](TBlockSocket*, THookSocketReason reason, const std::string& value) {
      events.emplace_back(reason, value);
    };
  }
  std::vector<Event> Only(THookSocketReason reason) const {
    std::vector<Event> out;
    for (const Event& e : events) {
      if (e.first == reason) out.push_back(e);
    }
    return out;
  }
};

inline void Connect(TBlockSocket& socket, int port, const std::string& host = "127.0.0.1") {
  socket.ConnectTo(host, std::to_string(port));
}

// Milliseconds taken by f().
template <typename F>
long ElapsedMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  std::forward<F>(f)();
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace movrek::test
