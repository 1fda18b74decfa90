// Arbitrary bytes arriving in pieces of a chosen size, read as lines up to a
// chosen terminator, with and without line-end mode and a length limit. The
// socket has no handle, so each piece is handed over through ReadAhead and
// every wait fails at once, exactly as a packet boundary followed by silence.
//
// Input: byte 0 = mode bits (line-end mode, terminator choice, limit), byte 1
// = piece size, the rest = the bytes that arrive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/base/winsock_errors.h"
#include "net/socket/tcp_block_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace movrek;
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t piece = data[1] % 16 + 1;
  const std::string input(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string terminator = (mode & 2) ? "\r\n" : ((mode & 4) ? "\n" : "<E>");

  TTCPBlockSocket socket;
  socket.ConvertLineEnd = (mode & 1) != 0;
  socket.MaxLineLength = (mode >> 4) * 4;
  const bool lineEndMode = socket.ConvertLineEnd && terminator == "\r\n";

  std::string rebuilt;   // lines and terminators, as handed out
  bool dropped = false;  // a line over the limit was consumed without being returned
  for (std::size_t at = 0; at < input.size(); at += piece) {
    socket.ReadAhead += input.substr(at, piece);
    for (;;) {
      const std::string line = socket.ReceiveUntil(0, terminator);
      if (socket.LastErrorCode == WSAENOBUFS) dropped = true;
      if (socket.LastErrorCode != 0) break;
      if (socket.MaxLineLength != 0 &&
          line.size() > static_cast<std::size_t>(socket.MaxLineLength)) {
        std::abort();
      }
      if (lineEndMode && line.find_first_of("\r\n") != std::string::npos) std::abort();
      rebuilt += line + terminator;
    }
    if (socket.LastErrorCode != WSAENOTSOCK && socket.LastErrorCode != WSAENOBUFS) std::abort();
  }
  // Nothing received is lost or invented: what was not handed out is still
  // there, at the end of the input.
  if (socket.ReadAhead.size() > input.size() ||
      input.compare(input.size() - socket.ReadAhead.size(), std::string::npos, socket.ReadAhead) !=
          0) {
    std::abort();
  }
  if (!lineEndMode && !dropped && rebuilt + socket.ReadAhead != input) std::abort();
  return 0;
}
