#include "net/http/http_head_parser.h"

#include "net/base/text_util.h"
#include "net/http/http_limits.h"
#include "text/ascii_text.h"

namespace movrek {

THttpHeadParser::THttpHeadParser(std::size_t maxLine) : lines_(maxLine) {}

void THttpHeadParser::Begin(THttpHeadMode mode) {
  mode_ = mode;
  state_ = TState::StatusLine;
  interim_ = 0;
  head_.StatusLines.clear();
  head_.FieldLines.clear();
}

std::size_t THttpHeadParser::Feed(std::string_view bytes) {
  std::size_t taken = 0;
  while (state_ != TState::Done && state_ != TState::Failed && taken < bytes.size()) {
    std::size_t consumed = 0;
    const THttpLineSplitter::TStatus status = lines_.Take(bytes.substr(taken), consumed);
    taken += consumed;
    if (status == THttpLineSplitter::TStatus::TooLong) {
      TakeTooLong();
    } else if (status == THttpLineSplitter::TStatus::Line) {
      TakeLine(lines_.Line());
    }
  }
  return taken;
}

std::string THttpHeadParser::FailureText() const {
  switch (failure_) {
    case THttpHeadFailure::None:
      return {};
    case THttpHeadFailure::LineTooLong:
      return "response head line too long";
    case THttpHeadFailure::HeadTooLarge:
      return "response head too large";
    case THttpHeadFailure::TooManyInterim:
      return "too many interim answers (" + std::to_string(interim_ + 1) + ")";
  }
  return {};
}

void THttpHeadParser::TakeLine(const std::string& line) {
  // Every line counts with a two-byte end, blank lines and interim answers
  // included: endless lines of legal length are as hostile as one endless
  // line.
  headBytes_ += line.size() + 2;
  if (headBytes_ > kMaxHeadBytes) {
    Fail(THttpHeadFailure::HeadTooLarge);
    return;
  }
  switch (state_) {
    case TState::StatusLine:
      if (!line.empty()) {
        TakeStatusLine(line);
      }
      break;
    case TState::InterimFields:
      if (line.empty()) {
        state_ = TState::StatusLine;
      }
      break;
    case TState::Fields:
      head_.FieldLines.push_back(line);
      if (line.empty()) {
        state_ = TState::Done;
      }
      break;
    case TState::Done:
    case TState::Failed:
      break;
  }
}

// RFC 9110 section 15.2: every 1xx answer but 101 (a protocol switch, never
// asked for here) is interim; its status line stays above the final one, its
// field lines (the Link lines of a 103) are dropped. A first line that is no
// status line starts the body of an answer without head, as HTTP/0.9
// servers send it.
void THttpHeadParser::TakeStatusLine(const std::string& line) {
  const bool statusLine = StartsWith(AsciiUpper(line), "HTTP/");
  if (mode_ == THttpHeadMode::Response && !statusLine) {
    head_.StatusCode = 0;
    head_.Headless = true;
    head_.BodyStart = line + "\r\n";
    // After an interim answer the lines up to an empty one still count as
    // field lines.
    state_ = head_.StatusLines.empty() ? TState::Done : TState::Fields;
    return;
  }
  head_.StatusLines.push_back(line);
  const THttpStatus status = ParseStatusText(line);
  head_.StatusCode = status.Code;
  head_.Reason = status.Reason;
  head_.Version = TextBefore(line, " ");
  const bool interim = status.Code >= 100 && status.Code <= 199 && status.Code != 101;
  if (mode_ == THttpHeadMode::ExpectAnswer || !interim) {
    state_ = TState::Fields;
  } else if (interim_ == kMaxInterimAnswers) {
    // A server that sends interim answers without end must not hold the
    // request until its time-out.
    Fail(THttpHeadFailure::TooManyInterim);
  } else {
    ++interim_;
    state_ = TState::InterimFields;
  }
}

void THttpHeadParser::TakeTooLong() {
  // A first line longer than any head line is no status line: the answer
  // has no head, and all of that line is body.
  if (mode_ == THttpHeadMode::Response && state_ == TState::StatusLine &&
      head_.StatusLines.empty()) {
    head_.StatusCode = 0;
    head_.Headless = true;
    overflow_ = lines_.Line();
    state_ = TState::Done;
    return;
  }
  Fail(THttpHeadFailure::LineTooLong);
}

void THttpHeadParser::Fail(THttpHeadFailure failure) {
  failure_ = failure;
  state_ = TState::Failed;
}

}  // namespace movrek
