// Reads a response head out of bytes, holding no socket: the caller feeds
// what arrived and learns how much was taken and whether the head is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http/http_line_splitter.h"
#include "net/http/http_response_head.h"

namespace movrek {

enum class THttpHeadMode {
  // An ordinary answer: interim (1xx) answers are skipped, and a first line
  // that is no status line starts the body of an answer without head.
  Response,
  // The first answer to a request that waits for "100 Continue": its first
  // line is its status line whatever it says, and an interim answer ends it
  // (the caller then sends the body and reads on in Response mode).
  ExpectAnswer,
};

enum class THttpHeadFailure {
  None,
  LineTooLong,     // a head line passed the line bound
  HeadTooLarge,    // the head's lines together passed kMaxHeadBytes
  TooManyInterim,  // more than kMaxInterimAnswers interim answers
};

class THttpHeadParser {
 public:
  // Head lines longer than maxLine bytes are refused.
  explicit THttpHeadParser(std::size_t maxLine);

  // Starts the next answer on the same connection. Every answer of one
  // request counts into the one bound of kMaxHeadBytes.
  void Begin(THttpHeadMode mode);
  // Takes bytes up to the end of the head at most; returns how many. The
  // bytes after the head are the body's, for the caller to pass on.
  std::size_t Feed(std::string_view bytes);

  [[nodiscard]] bool Done() const { return state_ == TState::Done; }
  [[nodiscard]] THttpHeadFailure Failure() const { return failure_; }
  // Why the head was refused, for the user ("too many interim answers (17)").
  [[nodiscard]] std::string FailureText() const;
  [[nodiscard]] const THttpResponseHead& Head() const { return head_; }
  // What the head holds so far; the parser is spent afterwards.
  THttpResponseHead TakeHead() { return std::move(head_); }
  // An answer whose first line is too long for any head has no head; that
  // line, taken while its end was sought, is given back here to be read
  // again as the start of the body, before the bytes that were not taken.
  std::string TakeOverflow() { return std::move(overflow_); }
  // A line has begun and not ended: more is on its way.
  [[nodiscard]] bool MidLine() const { return lines_.MidLine(); }
  // The head ended with a lone CR or LF at the end of the input: whoever
  // reads on drops this byte if it comes first (0: none).
  char TakePendingPartner() { return lines_.TakePendingPartner(); }

 private:
  enum class TState {
    StatusLine,     // empty lines, then a status line
    InterimFields,  // an interim answer's field lines, dropped
    Fields,         // the final answer's field lines, kept
    Done,
    Failed,
  };

  // One whole line; false when the head must end here.
  void TakeLine(const std::string& line);
  void TakeStatusLine(const std::string& line);
  void TakeTooLong();
  void Fail(THttpHeadFailure failure);

  THttpLineSplitter lines_;
  THttpHeadMode mode_ = THttpHeadMode::Response;
  TState state_ = TState::StatusLine;
  THttpHeadFailure failure_ = THttpHeadFailure::None;
  THttpResponseHead head_;
  std::string overflow_;
  std::size_t headBytes_ = 0;
  int interim_ = 0;  // interim answers of this Response-mode answer so far
};

}  // namespace movrek
