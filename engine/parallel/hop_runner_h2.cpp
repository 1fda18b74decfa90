// Requests over HTTP/2: the pages of a server that speaks it share one
// connection, each request a stream of it, and a request the server did not
// act on goes again on a new connection.
#include <utility>

#include "engine/parallel/hop_runner.h"
#include "net/http/h2_exchange.h"
#include "net/http/h2_limits.h"
#include "net/http/http_transaction.h"
#include "text/ascii_text.h"

namespace movrek {

std::optional<bool> THopRunner::SendOverHttp2(THttpTransaction& http, const std::string& url,
                                              const std::string& key, const std::string& host) {
  // RFC 9113 section 3.2: HTTP/2 only where TLS can negotiate it; plain
  // http:// stays HTTP/1.1, and so does a job that asks for HTTP/1.0.
  if (services_.H2 == nullptr || !services_.Policy.KeepAlive || !StartsWith(key, "https://")) {
    return std::nullopt;
  }
  const auto stopped = [this] { return context_.Aborted() || context_.StoppedByLimit(); };
  for (int attempt = 0;; ++attempt) {
    TH2Sessions::TLease lease = services_.H2->Find(key, stopped);
    if (lease.Way == TH2Sessions::TWay::Http1) {
      return std::nullopt;
    }
    if (lease.Way == TH2Sessions::TWay::Stopped) {
      return FailUnsent(http);
    }
    if (lease.Way == TH2Sessions::TWay::Probe) {
      context_.TransferBegins();
      std::unique_ptr<TTCPBlockSocket> sock = ProbeHttp2(http, url);
      context_.TransferEnds();
      if (sock == nullptr && http.ConnectedHost.empty()) {
        services_.H2->Forget(key);
        return false;
      }
      lease.Session = services_.H2->Settle(key, host, std::move(sock));
      if (lease.Session == nullptr) {
        return std::nullopt;
      }
    }
    context_.TransferBegins();
    const TH2Outcome outcome = TH2Exchange::Run(http, *lease.Session, url);
    context_.TransferEnds();
    if (outcome != TH2Outcome::Unprocessed) {
      return outcome == TH2Outcome::Answered;
    }
    services_.H2->Forget(key, lease.Session.get());
    if (attempt >= kH2UnprocessedRetries || stopped()) {
      return false;
    }
  }
}

std::unique_ptr<TTCPBlockSocket> THopRunner::ProbeHttp2(THttpTransaction& http,
                                                        const std::string& url) {
  if (!TH2Exchange::ConnectOffering(http, url) || http.Sock->TlsPlugin->AlpnChosen() != "h2") {
    return nullptr;
  }
  http.ConnectedHost.clear();
  http.ConnectedPort.clear();
  std::unique_ptr<TTCPBlockSocket> sock = context_.SwapSocket(http, UnconnectedLike(*http.Sock));
  ClearSocketHooks(*sock);
  return sock;
}

}  // namespace movrek
