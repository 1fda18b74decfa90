// One request of a transaction sent as a stream of an HTTP/2 connection.
// The answer goes where PerformRequest puts an HTTP/1.1 one (head, status,
// body sink or Document), so redirects, content codings, the page's bounds
// and retries treat both alike.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "net/http/h2_stream.h"

namespace movrek {

class THttpTransaction;
class THttp2Session;
struct TRequestUrl;

enum class TH2Outcome {
  Answered = 0,     // as PerformRequest's true
  Failed = 1,       // as its false
  Unprocessed = 2,  // the server did not act on it: it may go on another connection
};

class TH2Exchange {
 public:
  // Sends GET `url` of `http` on `session` and takes the answer. Each wait
  // lasts up to http.Timeout; a stop raised on http.Sock ends it. A stream
  // given up on (a stop, a time-out, a body the sink declines or that is too
  // large) is reset; the connection's other streams go on.
  static TH2Outcome Run(THttpTransaction& http, THttp2Session& session, const std::string& url);

  // Connects `http` to the server of `url` as PerformRequest would (through
  // its proxy as a tunnel, or SOCKS), offering HTTP/2 before HTTP/1.1 in
  // the TLS handshake (RFC 7301); false on a failure, which the socket
  // tells. The server's choice is the TLS plug-in's AlpnChosen.
  static bool ConnectOffering(THttpTransaction& http, const std::string& url);

  // The request's fields (RFC 9113 section 8.3): the pseudo-fields, then
  // the lines the transaction would send, names in lower case and without
  // the fields that belong to an HTTP/1.1 connection.
  static std::vector<TH2Stream::TField> RequestFields(const THttpTransaction& http,
                                                      const TRequestUrl& parts);

 private:
  static void Begin(THttpTransaction& http);
  static void TakeHead(THttpTransaction& http, const TH2Stream& stream);
  static TH2Outcome ReadBody(THttpTransaction& http, THttp2Session& session,
                             const std::shared_ptr<TH2Stream>& stream);
  // Ends a stream that did not end well: the transaction's error tells why.
  static TH2Outcome Fail(THttpTransaction& http, const TH2Stream& stream);
};

}  // namespace movrek
