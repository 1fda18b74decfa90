// The response body handed to a sink piece by piece as it arrives, in each
// framing (framed_body.cpp), instead of gathered in Document.
#include <algorithm>
#include <vector>

#include "net/http/http_body_sink.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"

namespace movrek {

bool THttpTransaction::StreamBody(bool noBody, int64_t size) {
  streamed_ = 0;
  if (!BodySink->BeginBody(*this)) {
    return StopBody();
  }
  // The first line of an answer without head was read as a head line.
  if (!Document.empty()) {
    std::string first;
    first.swap(Document);
    if (!PassBody(first)) {
      return false;
    }
  }
  const bool read = noBody || sink_stopped_ || ReadFramed(size);
  if (!read) {
    return false;
  }
  if (sink_stopped_) {
    return StopBody();
  }
  BodySink->EndBody();
  return true;
}

bool THttpTransaction::StreamCounted(int64_t size) {
  if (size < 1) {
    return true;
  }
  std::vector<char> piece(static_cast<size_t>(std::min<int64_t>(size, kStreamPieceBytes)));
  for (int64_t remaining = size; remaining > 0 && !sink_stopped_;) {
    const auto wanted = static_cast<int32_t>(std::min<int64_t>(remaining, kStreamPieceBytes));
    const int32_t got = Sock->ReceiveExact(piece.data(), wanted, Timeout);
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    if (!PassBody(std::string_view(piece.data(), static_cast<size_t>(got)))) {
      return false;
    }
    remaining -= got;
  }
  return true;
}

bool THttpTransaction::PassBody(std::string_view piece) {
  if (piece.empty()) {
    return true;
  }
  if (piece.size() > kMaxBodyBytes - std::min(streamed_, kMaxBodyBytes)) {
    return FailBodyTooLarge();
  }
  streamed_ += piece.size();
  if (!BodySink->TakeBody(piece)) {
    sink_stopped_ = true;
  }
  return true;
}

bool THttpTransaction::StopBody() {
  sink_stopped_ = true;
  Sock->CloseConnection();
  ConnectedHost.clear();
  ConnectedPort.clear();
  return true;
}

}  // namespace movrek
