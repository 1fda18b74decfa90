// The response body as THttpBodyDecoder frames it (RFC 9112 section 6),
// fed from the socket. Stretches of plain body bytes longer than what is at
// hand (a counted body, a large chunk, a body until the close) skip the
// decoder's copy: they are received in place, as before any framing existed.
#include <algorithm>
#include <limits>

#include "net/base/winsock_errors.h"
#include "net/http/http_body_decoder.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"

namespace movrek {

bool THttpTransaction::ReadFramed(int64_t size) {
  THttpBodyDecoder decoder(BodyFraming, size, LineBound());
  std::string input;
  std::string_view rest;
  while (!decoder.BodyComplete()) {
    const uint64_t ahead = decoder.RawBodyAhead();
    if (ahead > 0 && ahead != THttpBodyDecoder::kUnbounded) {
      DownloadSize = static_cast<int32_t>(
          std::min<int64_t>(decoder.StretchSize(), std::numeric_limits<int32_t>::max()));
    }
    if (ahead > rest.size()) {
      KeepUnread(rest);
      rest = {};
      if (!ReadRawStretch(decoder) || sink_stopped_) {
        return Sock->LastErrorCode == 0;
      }
      continue;
    }
    if (rest.empty()) {
      input = Sock->ReceiveChunk(Timeout);
      if (Sock->LastErrorCode != 0) {
        return false;
      }
      rest = input;
    }
    const THttpBodyDecoder::TStep step = decoder.Feed(rest);
    rest.remove_prefix(step.Consumed);
    if (!TakeBodyBytes(step.Body) || sink_stopped_ || decoder.Failure() != THttpBodyFailure::None) {
      KeepUnread(rest);
      FailFraming(decoder);
      return Sock->LastErrorCode == 0;
    }
  }
  ReadTrailer(decoder, input, rest);
  chunks_ended_ = decoder.MessageComplete();
  KeepUnread(rest);
  return true;
}

bool THttpTransaction::ReadRawStretch(THttpBodyDecoder& decoder) {
  HandOverPartner(decoder.TakePendingPartner());
  const uint64_t ahead = decoder.RawBodyAhead();
  if (ahead == THttpBodyDecoder::kUnbounded) {
    const bool read = ReadUntilClose();
    decoder.Close();
    return read;
  }
  const bool read = BodySink != nullptr ? StreamCounted(static_cast<int64_t>(ahead))
                                        : ReadCounted(static_cast<int32_t>(ahead),
                                                      BodyFraming == THttpBodyFraming::Counted);
  if (read) {
    decoder.SkipRaw(ahead);
  }
  return read;
}

void THttpTransaction::ReadTrailer(THttpBodyDecoder& decoder, std::string& input,
                                   std::string_view& rest) {
  // RFC 9112 section 7.1.2. Servers send the last chunk and the empty line
  // together; one that stops after the last size line is not waited for
  // (the body is whole), its connection is only not used again.
  while (!decoder.MessageComplete() && !decoder.TrailerAbandoned()) {
    if (rest.empty()) {
      if (!decoder.MidLine() && Sock->ReadAhead.empty() && Sock->PendingBytes() == 0 &&
          !Sock->WaitReadable(0)) {
        return;
      }
      input = Sock->ReceiveChunk(Timeout);
      if (Sock->LastErrorCode != 0) {
        Sock->ClearError();
        return;
      }
      rest = input;
    }
    rest.remove_prefix(decoder.Feed(rest).Consumed);
  }
}

void THttpTransaction::FailFraming(THttpBodyDecoder& decoder) {
  switch (decoder.Failure()) {
    case THttpBodyFailure::None:
    case THttpBodyFailure::CutShort:
      break;
    case THttpBodyFailure::LineTooLong:
      FailLineTooLong();
      break;
    case THttpBodyFailure::BadChunkSize:
      Fail(WSAEINVAL);
      break;
    case THttpBodyFailure::ChunkTooLarge:
      // A size no 32-bit count can hold leaves the rest of the body unread:
      // what arrived is not the page.
      Fail(WSAEMSGSIZE);
      break;
  }
}

bool THttpTransaction::TakeBodyBytes(std::string_view bytes) {
  return BodySink != nullptr ? PassBody(bytes) : AppendBody(bytes);
}

}  // namespace movrek
