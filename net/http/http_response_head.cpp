#include "net/http/http_response_head.h"

#include <cstdlib>
#include <optional>

#include "net/base/text_util.h"
#include "net/http/http_limits.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// A decimal number with an optional sign, or `fallback` when the text is
// none. Values beyond 32 bits come back as kBeyond32Bits (or its negative)
// so that the caller can tell a length too large from no length.
std::int64_t DecimalOr(std::string_view text, std::int64_t fallback) {
  const bool negative = !text.empty() && text[0] == '-';
  const bool signedText = !text.empty() && (text[0] == '+' || negative);
  const std::optional<std::uint64_t> value =
      ParseDigits(text.substr(signedText ? 1 : 0), kBeyond32Bits, TDigitsOverflow::Clamp);
  if (!value) {
    return fallback;
  }
  return negative ? -static_cast<std::int64_t>(*value) : static_cast<std::int64_t>(*value);
}

void ApplyFieldLine(const std::string& line, THttpBodyPlan& plan) {
  const std::string upper = AsciiUpper(line);
  if (StartsWith(upper, "CONTENT-LENGTH:")) {
    // Only a value after a blank is read: "Content-Length:5" gives none.
    plan.Length = DecimalOr(TrimControls(TextAfter(line, " ")), -1);
    // A negative length is no length: the body runs until the close.
    if (plan.Length < 0) {
      plan.Length = -1;
    }
    if (plan.Length != -1 && plan.Framing == THttpBodyFraming::UntilClose) {
      plan.Framing = THttpBodyFraming::Counted;
    }
  } else if (StartsWith(upper, "CONTENT-TYPE:")) {
    plan.MimeType = std::string(TrimControls(TextAfter(line, " ")));
  } else if (StartsWith(upper, "TRANSFER-ENCODING:")) {
    // RFC 9112 section 6.3: chunked framing overrides any Content-Length.
    if (TrimControls(TextAfter(upper, " ")).find("CHUNKED") != std::string_view::npos) {
      plan.Framing = THttpBodyFraming::Chunked;
    }
  } else if (StartsWith(upper, "CONNECTION:") &&
             TrimControls(TextAfter(upper, ":")).find("CLOSE") != std::string_view::npos) {
    // RFC 9112 section 9.6: "close" among the options, with or without blanks.
    plan.AsksClose = true;
  }
}

}  // namespace

THttpStatus ParseStatusText(const std::string& line) {
  THttpStatus status;
  const std::string rest(TrimControls(TextAfter(line, " ")));
  const std::int64_t code = DecimalOr(TrimControls(TextBefore(rest, " ")), 0);
  status.Code = std::abs(code) < kBeyond32Bits ? static_cast<std::int32_t>(code) : 0;
  const std::string phrase(TrimControls(TextAfter(rest, " ")));
  status.Reason = phrase == rest ? std::string() : phrase;
  return status;
}

THttpBodyPlan BodyPlanOf(const std::vector<std::string>& fieldLines) {
  THttpBodyPlan plan;
  for (const std::string& line : fieldLines) {
    if (!line.empty()) {
      ApplyFieldLine(line, plan);
    }
  }
  return plan;
}

}  // namespace movrek
