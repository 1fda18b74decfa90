// Line, exact-amount and stream reception on top of ReceiveChunk: what an
// operation receives beyond what it returns goes back into ReadAhead, so no
// byte is lost between calls, also after a failure.
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/socket/block_socket.h"

namespace movrek {

namespace {

// Time left of a whole-operation budget; -1 (no limit) stays -1.
bool SpendTime(std::int32_t& left, std::uint32_t since) {
  if (left == -1) {
    return true;
  }
  left -= static_cast<std::int32_t>(TickSpan(since, TickNow()));
  return left > 0;
}

}  // namespace

std::string TBlockSocket::ReceiveUntil(std::int32_t timeout, const std::string& terminator) {
  ClearError();
  std::string result;
  if (terminator.empty()) {
    return result;
  }
  const bool lineEndMode = ConvertLineEnd && terminator == "\r\n";
  std::string pending;
  std::size_t found = std::string::npos;
  std::size_t foundLength = 0;
  std::int32_t left = timeout;
  for (;;) {
    const std::uint32_t passStart = TickNow();
    // Only the new bytes (and, for a terminator of several bytes, its part
    // that may straddle the old end) need searching.
    std::size_t searchFrom = pending.size();
    pending += ReceiveChunk(left);
    if (LastErrorCode != 0) {
      break;
    }
    if (lineEndMode) {
      found = pending.find_first_of("\r\n", searchFrom);
      if (found != std::string::npos) {
        const char first = pending[found];
        const char other = first == '\r' ? '\n' : '\r';
        if (found + 1 < pending.size() && pending[found + 1] == other) {
          foundLength = 2;
        } else {
          // A single CR or LF; if it is the last byte at hand its partner may
          // still be on the way, and ReceiveChunk drops it when it comes.
          foundLength = 1;
          (first == '\r' ? SawLoneCR : SawLoneLF) = true;
        }
      }
    } else {
      searchFrom = searchFrom >= terminator.size() - 1 ? searchFrom - (terminator.size() - 1) : 0;
      found = pending.find(terminator, searchFrom);
      foundLength = terminator.size();
    }
    // The limit applies to the line itself once its end is known, else to
    // all that was gathered looking for it.
    const std::size_t lineLength = found != std::string::npos ? found : pending.size();
    if (MaxLineLength != 0 && lineLength > static_cast<std::size_t>(MaxLineLength)) {
      LastErrorCode = WSAENOBUFS;
      break;
    }
    if (found != std::string::npos) {
      break;
    }
    if (!InterPacketTimeout && !SpendTime(left, passStart)) {
      LastErrorCode = WSAETIMEDOUT;
      break;
    }
  }
  if (found != std::string::npos) {
    result = pending.substr(0, found);
    pending.erase(0, found + foundLength);
  }
  ReadAhead = std::move(pending);
  RaiseIfFailed();
  return result;
}

std::string TBlockSocket::ReceiveLine(std::int32_t timeout) {
  std::string line = ReceiveUntil(timeout, "\r\n");
  if (LastErrorCode != 0) {
    line.clear();
  }
  return line;
}

std::int32_t TBlockSocket::ReceiveExact(void* buffer, std::int32_t length, std::int32_t timeout) {
  ClearError();
  if (length < 1) {
    return 0;
  }
  char* out = static_cast<char*>(buffer);
  std::int32_t copied = 0;
  std::int32_t left = timeout;
  // Copies what fits of a chunk; the surplus goes back into ReadAhead.
  const auto takeFrom = [&](const std::string& chunk) {
    const auto take =
        std::min<std::size_t>(chunk.size(), static_cast<std::size_t>(length - copied));
    std::memcpy(out + copied, chunk.data(), take);
    copied += static_cast<std::int32_t>(take);
    if (take < chunk.size()) {
      ReadAhead = chunk.substr(take);
    }
  };
  for (;;) {
    const std::uint32_t passStart = TickNow();
    if (ReadAhead.empty() && !(ConvertLineEnd && (SawLoneCR || SawLoneLF))) {
      // What ReceiveChunk would do, but when all that is pending fits it goes
      // straight into the caller's buffer instead of through a chunk.
      ClearError();
      const std::int32_t pending = AwaitPending(left);
      if (pending > 0 && pending <= length - copied) {
        copied += std::max(ReceiveSome(out + copied, pending), 0);
      } else if (pending > 0) {
        std::string chunk(static_cast<std::size_t>(pending), '\0');
        chunk.resize(static_cast<std::size_t>(std::max(ReceiveSome(chunk.data(), pending), 0)));
        takeFrom(chunk);
      }
      RaiseIfFailed();
    } else {
      takeFrom(ReceiveChunk(left));
    }
    if (LastErrorCode != 0 || copied >= length) {
      break;
    }
    if (!InterPacketTimeout && !SpendTime(left, passStart)) {
      LastErrorCode = WSAETIMEDOUT;
      break;
    }
  }
  RaiseIfFailed();
  return copied;
}

std::string TBlockSocket::ReceiveExactText(std::int32_t length, std::int32_t timeout) {
  ClearError();
  std::string text;
  if (length < 1) {
    return text;
  }
  text.resize(static_cast<std::size_t>(length));
  const std::int32_t copied = ReceiveExact(text.data(), length, timeout);
  text.resize(static_cast<std::size_t>(copied));
  if (LastErrorCode != 0) {
    // The caller gets nothing, so what did arrive goes back for the next call.
    ReadAhead.insert(0, text);
    text.clear();
  }
  return text;
}

std::uint8_t TBlockSocket::ReceiveOctet(std::int32_t timeout) {
  ClearError();
  std::uint8_t octet = 0;
  if (ReadAhead.empty()) {
    ReadAhead = ReceiveChunk(timeout);
  }
  if (LastErrorCode == 0 && !ReadAhead.empty()) {
    octet = static_cast<std::uint8_t>(ReadAhead.front());
    ReadAhead.erase(0, 1);
  }
  RaiseIfFailed();
  return octet;
}

std::int32_t TBlockSocket::ReceiveInt32(std::int32_t timeout) {
  unsigned char bytes[4] = {};
  ReceiveExact(bytes, 4, timeout);
  if (LastErrorCode != 0) {
    return 0;
  }
  const std::uint32_t value = bytes[0] | (std::uint32_t{bytes[1]} << 8) |
                              (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
  return static_cast<std::int32_t>(value);
}

std::string TBlockSocket::ReceiveLengthPrefixed(std::int32_t timeout) {
  const std::int32_t length = ReceiveInt32(timeout);
  if (LastErrorCode != 0) {
    return {};
  }
  return ReceiveExactText(length, timeout);
}

void TBlockSocket::ReceiveIntoStream(std::string& stream, std::int32_t timeout, std::int64_t size) {
  ClearError();
  if (size <= 0) {
    return;
  }
  const std::int64_t block = std::max(SendMaxChunk, 1);
  std::int64_t left = size;
  bool reserved = false;
  while (left > 0) {
    const auto piece = static_cast<std::int32_t>(std::min(block, left));
    // Each block is received straight into the stream; a block that does not
    // complete is taken out again and kept in ReadAhead.
    const std::size_t start = stream.size();
    stream.resize(start + static_cast<std::size_t>(piece));
    const std::int32_t copied = ReceiveExact(stream.data() + start, piece, timeout);
    if (LastErrorCode != 0) {
      ReadAhead.insert(0, stream, start, static_cast<std::size_t>(copied));
      stream.resize(start);
      return;
    }
    left -= piece;
    if (!reserved && left > 0) {
      // Room for the rest once the peer has shown it is sending: growing step
      // by step would copy the stream over and over and, at the moment of
      // each copy, hold it twice.
      reserved = true;
      stream.reserve(stream.size() +
                     static_cast<std::size_t>(std::min(left, kMaxStreamReserveBytes)));
    }
  }
}

void TBlockSocket::ReceiveStreamToEnd(std::string& stream, std::int32_t timeout) {
  for (;;) {
    const std::string chunk = ReceiveChunk(timeout);
    if (LastErrorCode != 0) {
      break;
    }
    stream += chunk;
  }
}

void TBlockSocket::ReceiveStreamSized(std::string& stream, std::int32_t timeout) {
  const auto size = static_cast<std::uint32_t>(ReceiveInt32(timeout));
  if (LastErrorCode != 0) {
    return;
  }
  ReceiveIntoStream(stream, timeout, size);
}

void TBlockSocket::ReceiveStreamSizedBigEndian(std::string& stream, std::int32_t timeout) {
  const auto size = SwapLong32(static_cast<std::uint32_t>(ReceiveInt32(timeout)));
  if (LastErrorCode != 0) {
    return;
  }
  ReceiveIntoStream(stream, timeout, size);
}

std::int32_t TBlockSocket::PeekBytes(void* buffer, std::int32_t length) {
  const int received = SocketRecv(Handle, buffer, length, MSG_PEEK);
  CheckResult(received);
  RaiseIfFailed();
  return received;
}

std::uint8_t TBlockSocket::PeekOctet(std::int32_t timeout) {
  ClearError();
  std::uint8_t octet = 0;
  if (WaitReadable(timeout)) {
    const int received = SocketRecv(Handle, &octet, 1, MSG_PEEK);
    if (received == 0) {
      LastErrorCode = WSAECONNRESET;
    } else {
      CheckResult(received);
    }
    if (received != 1) {
      octet = 0;
    }
  } else if (LastErrorCode == 0) {
    LastErrorCode = WSAETIMEDOUT;
  }
  RaiseIfFailed();
  return octet;
}

std::int32_t TBlockSocket::ReceiveBytesFrom(void* buffer, std::int32_t length) {
  if (ConsumeStop()) {
    return 0;
  }
  Throttle(length, MaxRecvBandwidth, NextRecvTick);
  const int received = SocketRecvFrom(Handle, buffer, length, 0, RemoteAddress);
  CheckResult(received);
  RaiseIfFailed();
  if (received > 0) {
    return AfterReceive(buffer, received);
  }
  return received;
}

}  // namespace movrek
