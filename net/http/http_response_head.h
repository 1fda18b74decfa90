// One response head as a value, whichever wire it came over, and what its
// lines say about the body that follows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace movrek {

// How the body of a response is delimited (RFC 9112 section 6).
enum class THttpBodyFraming {
  UntilClose = 0,  // no length given: the body ends when the server closes
  Counted = 1,     // a Content-Length line gave the size
  Chunked = 2,     // Transfer-Encoding: chunked
};

struct THttpResponseHead {
  // Of the last status line: 0 when it had no number, and for an answer
  // without head (HTTP/0.9), which keeps the reason of an interim answer
  // before it.
  std::int32_t StatusCode = 0;
  std::string Reason;
  std::string Version;  // "HTTP/1.1" as sent; empty without head
  // Interim answers' status lines (RFC 9110 section 15.2) above the final one.
  std::vector<std::string> StatusLines;
  // "Name: value" lines of the final answer as received, then the empty line
  // that ended them. header_fields.h reads fields from them.
  std::vector<std::string> FieldLines;
  // An answer without head starts its body with its first line and a CR LF
  // (see also THttpHeadParser::TakeOverflow).
  std::string BodyStart;
  bool Headless = false;
};

// The code and reason of a status line ("HTTP/1.1 404 Not Found"): 0 for no
// number, and an empty reason when there is none.
struct THttpStatus {
  std::int32_t Code = 0;
  std::string Reason;
};
THttpStatus ParseStatusText(const std::string& line);

// What the field lines say about the body and the connection.
struct THttpBodyPlan {
  THttpBodyFraming Framing = THttpBodyFraming::UntilClose;
  // The last Content-Length; -1 for none, for a negative one and for one
  // that is no number; kBeyond32Bits for every length past 32 bits.
  std::int64_t Length = -1;
  bool AsksClose = false;               // "close" among the Connection options
  std::optional<std::string> MimeType;  // of the last Content-Type line
};
THttpBodyPlan BodyPlanOf(const std::vector<std::string>& fieldLines);

}  // namespace movrek
