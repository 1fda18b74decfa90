// The response head: the status line, interim answers before it, and the
// header lines that decide how the body is framed.
#include <algorithm>
#include <cstdlib>

#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/http/head_line_reader.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// A decimal number with an optional sign, or `fallback` when the text is
// none. Values beyond 32 bits come back as kBeyond32Bits (or its negative)
// so that the caller can tell a length too large from no length.
int64_t DecimalOr(std::string_view text, int64_t fallback) {
  const bool negative = !text.empty() && text[0] == '-';
  const bool signedText = !text.empty() && (text[0] == '+' || negative);
  const std::optional<uint64_t> value =
      ParseDigits(text.substr(signedText ? 1 : 0), kBeyond32Bits, TDigitsOverflow::Clamp);
  if (!value) {
    return fallback;
  }
  return negative ? -static_cast<int64_t>(*value) : static_cast<int64_t>(*value);
}

}  // namespace

void THttpTransaction::ParseStatusLine(const std::string& line) {
  const std::string rest(TrimControls(TextAfter(line, " ")));
  const int64_t code = DecimalOr(TrimControls(TextBefore(rest, " ")), 0);
  ResultCode = std::abs(code) < kBeyond32Bits ? static_cast<int32_t>(code) : 0;
  const std::string phrase(TrimControls(TextAfter(rest, " ")));
  ResultString = phrase == rest ? std::string() : phrase;
}

bool THttpTransaction::ReadResponseHead(THeadLineReader& head,
                                        const std::vector<std::string>& earlyAnswer, int64_t& size,
                                        bool& toClose) {
  std::vector<std::string> lines;
  if (!earlyAnswer.empty()) {
    // The server answered the Expect request with its final status; the
    // header lines of that answer were read already.
    Headers.push_back(earlyAnswer.front());
    lines.assign(earlyAnswer.begin() + 1, earlyAnswer.end());
  } else {
    if (!ReadStatusLines(head)) {
      return false;
    }
    if (!Headers.empty()) {
      head.ReceiveHeaderLines(lines);
    }
  }
  for (const std::string& line : lines) {
    Headers.push_back(line);
    if (!line.empty()) {
      ApplyHeaderLine(line, size, toClose);
    }
  }
  return Sock->LastErrorCode == 0;
}

// Reads up to the final status line. RFC 9110 section 15.2: every 1xx answer
// but 101 (a protocol switch, never asked for here) is interim; its status
// line stays in Headers above the final one, its header lines (the Link
// lines of a 103) are dropped. A first line that is no status line starts
// the body of an answer without head, as HTTP/0.9 servers send it.
bool THttpTransaction::ReadStatusLines(THeadLineReader& head) {
  for (int interim = 0;; ++interim) {
    if (!ReadStatusLine(head)) {
      return false;
    }
    if (ResultCode < 100 || ResultCode > 199 || ResultCode == 101) {
      return true;
    }
    if (interim == kMaxInterimAnswers) {
      AnswerError = "too many interim answers (" + std::to_string(interim + 1) + ")";
      Fail(WSAEMSGSIZE);
      return false;
    }
    std::vector<std::string> dropped;
    head.ReceiveHeaderLines(dropped);
    if (Sock->LastErrorCode != 0) {
      return false;
    }
  }
}

bool THttpTransaction::ReadStatusLine(THeadLineReader& head) {
  std::string line;
  head.ReceiveStatusLine(line);
  if (Sock->LastErrorCode == WSAENOBUFS && Headers.empty() && head.WithinBound()) {
    // A first line longer than any head line is no status line: the answer
    // has no head, and what was gathered (back in ReadAhead) starts its body.
    Sock->ClearError();
    ResultCode = 0;
    return true;
  }
  if (Sock->LastErrorCode != 0) {
    return false;
  }
  if (StartsWith(AsciiUpper(line), "HTTP/")) {
    Headers.push_back(line);
    ParseStatusLine(line);
  } else {
    Document += line;
    Document += "\r\n";
    ResultCode = 0;
  }
  return true;
}

void THttpTransaction::ApplyHeaderLine(const std::string& line, int64_t& size, bool& toClose) {
  const std::string upper = AsciiUpper(line);
  if (StartsWith(upper, "CONTENT-LENGTH:")) {
    size = DecimalOr(TrimControls(TextAfter(line, " ")), -1);
    // A negative length is no length: the body runs until the close.
    if (size < 0) {
      size = -1;
    }
    if (size != -1 && BodyFraming == THttpBodyFraming::UntilClose) {
      BodyFraming = THttpBodyFraming::Counted;
    }
  } else if (StartsWith(upper, "CONTENT-TYPE:")) {
    MimeType = std::string(TrimControls(TextAfter(line, " ")));
  } else if (StartsWith(upper, "TRANSFER-ENCODING:")) {
    // RFC 9112 section 6.3: chunked framing overrides any Content-Length.
    if (TrimControls(TextAfter(upper, " ")).find("CHUNKED") != std::string_view::npos) {
      BodyFraming = THttpBodyFraming::Chunked;
    }
  } else if (StartsWith(upper, "CONNECTION:") &&
             TrimControls(TextAfter(upper, ":")).find("CLOSE") != std::string_view::npos) {
    // RFC 9112 section 9.6: "close" among the options, with or without blanks.
    toClose = true;
  }
}

}  // namespace movrek
