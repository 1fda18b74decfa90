// Bounds the lines a socket gathers while a reply head from a peer is read:
// a line that never ends must not take all memory.
#pragma once

#include <cstdint>

#include "net/socket/block_socket.h"

namespace movrek {

// Holds the socket's MaxLineLength at `bound`, or at the owner's own limit
// when that is stricter, for the guard's life, and gives the owner's limit
// back however the reading ends.
class TLineLimitGuard {
 public:
  TLineLimitGuard(TBlockSocket& socket, std::int32_t bound)
      : socket_(socket), ownerLimit_(socket.MaxLineLength) {
    if (ownerLimit_ <= 0 || ownerLimit_ > bound) {
      socket_.MaxLineLength = bound;
    }
  }
  ~TLineLimitGuard() { socket_.MaxLineLength = ownerLimit_; }
  TLineLimitGuard(const TLineLimitGuard&) = delete;
  TLineLimitGuard& operator=(const TLineLimitGuard&) = delete;

 private:
  TBlockSocket& socket_;
  const std::int32_t ownerLimit_;
};

}  // namespace movrek
