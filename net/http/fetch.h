#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace movrek {

class THttpTransaction;

// Outcome of a fetch.
struct TUrlInfo {
  // 0 OK (any final status, error pages included), 1 network error,
  // 2 redirect without location, 3 general error (also: too many redirects).
  uint8_t Status = 0;
  std::string Url;  // the address requested last
  // Why a general error (3) ended the fetch, for front ends that give a
  // reason: "redirect loop", "too many redirects (20)", the transaction's
  // AnswerError, ...; empty otherwise.
  std::string Reason;
};

// Receives the trace of each response when a fetch runs with its trace flag.
using TTraceOutputProc = std::function<void(const std::string& text)>;

// Process-wide trace procedure. Assigned by the caller before a fetch; the
// fetch only reads it.
extern TTraceOutputProc TraceOutput;

// Runs the GET request of one hop of a fetch on `http` and answers as
// THttpTransaction::PerformRequest does. An owner that pools connections or
// tries again supplies its own; none: PerformRequest itself.
using TRequestRunner = std::function<bool(THttpTransaction& http, const std::string& url)>;

// Fetches `url` with GET on `http`, following redirects (301, 302, 303, 307,
// 308) up to the hop limit of http_limits.h, each hop through `runner`. The
// last response's body stays in http->Document. Does nothing when `http` is
// null.
void HttpGetFollow(const std::string& url, THttpTransaction* http, bool trace, TUrlInfo& result,
                   const TRequestRunner& runner = {});

// A status whose Location HttpGetFollow follows.
bool IsFollowedRedirect(int32_t code);

// 0-based index of the first Location header line in http.Headers, -1 when
// there is none.
int FindLocationLine(const THttpTransaction& http);

}  // namespace movrek
