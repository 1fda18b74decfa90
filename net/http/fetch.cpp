#include "net/http/fetch.h"

#include <algorithm>
#include <vector>

#include "net/base/web_url.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "net/http/wildcard.h"
#include "text/ascii_text.h"

namespace movrek {

TTraceOutputProc TraceOutput;

namespace {

// The field value of a header line (RFC 9110 section 5.5: optional
// whitespace around the value is not part of it).
std::string FieldValue(const std::string& line) {
  const size_t colon = line.find(':');
  return colon == std::string::npos
             ? std::string()
             : std::string(TrimControls(std::string_view(line).substr(colon + 1)));
}

void WriteTrace(const THttpTransaction& http) {
  if (!TraceOutput) {
    return;
  }
  TraceOutput(std::to_string(http.ResultCode) + " " + http.ResultString);
  TraceOutput(std::string());
  std::string head;
  for (const std::string& line : http.Headers) {
    head += line + "\r\n";
  }
  TraceOutput(head);
  TraceOutput(std::string());
}

// Why the hop limit was reached: the chain came back to an address it had
// requested, or it went on to new ones.
std::string RedirectLimitReason(std::vector<std::string> requested) {
  std::sort(requested.begin(), requested.end());
  if (std::adjacent_find(requested.begin(), requested.end()) != requested.end()) {
    return "redirect loop";
  }
  return "too many redirects (" + std::to_string(kMaxRedirects) + ")";
}

}  // namespace

bool IsFollowedRedirect(int32_t code) {
  // RFC 9110 section 15.4: 301, 302, 303, 307 and 308 all name the new
  // address in Location; 300 and 305 do not send the client on by themselves.
  return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

int FindLocationLine(const THttpTransaction& http) {
  // Field names are case-insensitive (RFC 9110 section 5.1), and the name
  // must open the line: "Content-Location" names something else.
  for (size_t i = 0; i < http.Headers.size(); ++i) {
    if (PosWild("location:", AsciiLower(http.Headers[i])) == 1) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void HttpGetFollow(const std::string& url, THttpTransaction* http, bool trace, TUrlInfo& result,
                   const TRequestRunner& runner) {
  if (http == nullptr) {
    return;
  }
  std::string address = url;
  // Every address requested, to tell a loop from a long chain when the hop
  // limit is reached. The loop is still followed to the limit: a page may
  // set a cookie and send the client back to itself once.
  std::vector<std::string> requested;
  for (int followed = 0;; ++followed) {
    http->ResetState();
    result.Status = 3;
    result.Url = address;
    result.Reason.clear();
    requested.push_back(address);
    const bool answered = runner ? runner(*http, address) : http->PerformRequest("GET", address);
    if (!answered) {
      // An answer that came but broke the protocol is no network failure.
      result.Status = http->AnswerError.empty() ? 1 : 3;
      result.Reason = http->AnswerError;
      return;
    }
    if (trace) {
      WriteTrace(*http);
    }
    result.Status = 0;
    if (!IsFollowedRedirect(http->ResultCode)) {
      return;
    }

    const int location = FindLocationLine(*http);
    const std::string target =
        location < 0 ? std::string() : FieldValue(http->Headers[static_cast<size_t>(location)]);
    if (target.empty()) {
      result.Status = 2;
      return;
    }
    if (followed == kMaxRedirects) {
      result.Status = 3;
      result.Reason = RedirectLimitReason(requested);
      return;
    }
    // The new address is read as browsers read Location, against the address
    // it came from; an address without a scheme was fetched as http.
    const std::string base =
        address.find("://") == std::string::npos ? "http://" + address : address;
    const std::optional<std::string> next = ResolveWebUrl(target, base);
    // Only http and https are fetched: another scheme's address sent as an
    // HTTP request would reach a host or port the page never named for it
    // (file:///etc/passwd, ftp://host:21/). The parser writes the scheme in
    // lower case and "//" after it.
    if (!next || !(StartsWith(*next, "http://") || StartsWith(*next, "https://"))) {
      result.Status = 3;
      result.Reason = next ? "redirect to an address that is not http or https"
                           : "redirect to an address that cannot be read";
      return;
    }
    address = *next;
    // A fragment only points into the page; it is never part of a request
    // (RFC 9112 section 3.2).
    address = address.substr(0, address.find('#'));
  }
}

}  // namespace movrek
