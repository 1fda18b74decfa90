// Chunked transfer coding (RFC 9112 section 7.1).
#include <algorithm>
#include <cstdint>

#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// A chunk size (RFC 9112 section 7.1): hexadecimal digits, at most
// kBeyond32Bits; -1 when the text is no hexadecimal number.
int64_t ChunkSize(std::string_view text) {
  if (text.empty()) {
    return -1;
  }
  int64_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      return -1;
    }
    value = std::min(value * 16 + digit, kBeyond32Bits);
  }
  return value;
}

}  // namespace

bool THttpTransaction::ReadChunks() {
  // RFC 9112 section 7.1.
  for (;;) {
    std::string line;
    do {
      line = Sock->ReceiveLine(Timeout);
    } while (line.empty() && Sock->LastErrorCode == 0);
    if (Sock->LastErrorCode != 0) {
      break;
    }
    // Extensions after ";" and anything after a blank are not the size.
    const std::string beforeBlank = TextBefore(line, " ");
    const std::string_view sizeText = TrimControls(beforeBlank);
    const int64_t size = ChunkSize(TrimControls(sizeText.substr(0, sizeText.find(';'))));
    if (size == 0) {
      ReadTrailer();
      break;
    }
    // A size line that is no number, or a size no 32-bit count can hold,
    // leaves the rest of the body unframed: what arrived is not the page.
    if (size < 0 || size >= kBeyond32Bits) {
      Fail(size < 0 ? WSAEINVAL : WSAEMSGSIZE);
      break;
    }
    // The chunks together have no announced size: the body grows as for
    // one read until close.
    const bool read =
        BodySink != nullptr ? StreamCounted(size) : ReadCounted(static_cast<int32_t>(size), false);
    if (!read || sink_stopped_) {
      break;
    }
  }
  return Sock->LastErrorCode == 0;
}

void THttpTransaction::ReadTrailer() {
  // RFC 9112 section 7.1.2. Servers send the last chunk and the empty line
  // together; one that stops after the last size line is not waited for
  // (the body is whole), its connection is only not used again.
  std::size_t taken = 0;
  while (taken <= kMaxHeadBytes) {
    if (Sock->ReadAhead.empty() && Sock->PendingBytes() == 0 && !Sock->WaitReadable(0)) {
      return;
    }
    const std::string line = Sock->ReceiveLine(Timeout);
    if (Sock->LastErrorCode != 0) {
      Sock->ClearError();
      return;
    }
    if (line.empty()) {
      chunks_ended_ = true;
      return;
    }
    taken += line.size();
  }
}

}  // namespace movrek
