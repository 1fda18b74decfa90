// Reads the lines of a response head from the socket within one bound for
// the whole head, interim answers and blank lines included: a server that
// sends header lines of legal length without end must not make the head grow
// without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/socket/block_socket.h"

namespace movrek {

class THeadLineReader {
 public:
  // The socket outlives the reader; every wait gets timeoutMs.
  THeadLineReader(TBlockSocket& socket, std::int32_t timeoutMs);

  // One line without its end. False on a receive failure, or once the head
  // has passed kMaxHeadBytes (10055); the socket's error tells which.
  bool ReceiveHeadLine(std::string& line);
  // The first line that is not empty; false as ReceiveHeadLine.
  bool ReceiveStatusLine(std::string& line);
  // Appends the header lines after a status line, up to and including the
  // empty line that ends them; stops at the first failure.
  void ReceiveHeaderLines(std::vector<std::string>& lines);
  // False once the head has passed kMaxHeadBytes.
  [[nodiscard]] bool WithinBound() const;

 private:
  TBlockSocket& socket_;
  const std::int32_t timeoutMs_;
  std::size_t headBytes_ = 0;
};

}  // namespace movrek
