// Where a response body goes instead of THttpTransaction::Document, piece by
// piece as it arrives, so that no body of any size or framing has to be held
// in memory.
#pragma once

#include <string_view>

namespace movrek {

class THttpTransaction;

class THttpBodySink {
 public:
  virtual ~THttpBodySink() = default;

  // A response head was read (the transaction's Headers, ResultCode and
  // ContentLength tell it); its body follows. Called for every response of
  // the transaction, redirects included, so each call starts a new body.
  // False: the body is not wanted; the connection is closed unread and the
  // request still counts as answered.
  virtual bool BeginBody(const THttpTransaction& http) = 0;
  // The next piece of the body, its transfer coding removed. False: nothing
  // more is wanted; the connection is closed as for BeginBody.
  virtual bool TakeBody(std::string_view piece) = 0;
  // The body ended as its head framed it (not called after a false above or
  // a failed transfer).
  virtual void EndBody() = 0;
};

}  // namespace movrek
