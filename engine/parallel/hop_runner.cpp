#include "engine/parallel/hop_runner.h"

#include <algorithm>
#include <utility>

#include "engine/parallel/host_limiter.h"
#include "engine/parallel/retry_policy.h"
#include "engine/pipeline/process_url.h"
#include "net/base/winsock_errors.h"
#include "net/http/header_fields.h"
#include "net/http/http_transaction.h"
#include "net/http/request_url.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

TRequestEnd EndOf(bool answered, const THttpTransaction& http) {
  TRequestEnd end;
  end.Answered = answered;
  end.HeadReceived = http.HeadReceived;
  end.HttpStatus = http.ResultCode;
  end.SocketError = http.Sock->LastErrorCode;
  end.SocketErrorText = http.Sock->LastErrorText.empty()
                            ? TBlockSocket::GetErrorDesc(http.Sock->LastErrorCode)
                            : http.Sock->LastErrorText;
  return end;
}

std::string WholeSeconds(std::chrono::milliseconds wait) {
  return std::to_string((wait.count() + 999) / 1000);
}

}  // namespace

THopRunner::THopRunner(const THopServices& services, THopContext& context)
    : services_(services), context_(context), jitter_(std::random_device{}()) {}

bool THopRunner::Run(THttpTransaction& http, const std::string& url) {
  const TFetchPolicy& policy = services_.Policy;
  http.Protocol = policy.KeepAlive ? "1.1" : "1.0";
  TRequestUrl parts;
  if (SplitRequestUrl(url, parts) != 0) {
    return http.PerformRequest("GET", url);  // refused by the transaction's own checks
  }
  const std::string host = HostOfParts(parts);
  std::string key = AsciiLower(parts.Protocol) + "://" + host + services_.ProxyKey;
  if (services_.Routes != nullptr) {
    // A redirect may lead to another scheme or host, and so another proxy.
    const TProxySettings* proxy = services_.Routes->For(parts.Protocol, parts.Host);
    ApplyProxySettings(proxy != nullptr ? *proxy : TProxySettings(), http);
    key += proxy != nullptr ? ProxyKeyText(*proxy) : std::string();
  }
  if (policy.KeepAlive) {
    http.Sock->TlsPlugin->SessionCache = services_.Pool.Sessions();
  }
  for (int retry = 1;; ++retry) {
    if (!AwaitTurn(host)) {
      return FailUnsent(http);
    }
    const bool answered = SendOnce(http, url, key, host);
    Park(http, key, host);
    if (retry > policy.Retries || context_.Aborted() || context_.StoppedByLimit()) {
      return answered;
    }
    const std::string reason = RetryReason(EndOf(answered, http));
    if (reason.empty()) {
      return answered;
    }
    const std::optional<std::chrono::milliseconds> wait = RetryWait(retry, http);
    if (!wait) {
      return answered;
    }
    context_.Note(RetryLineText(retry, policy.Retries, *wait, reason));
    if (http.HeadReceived && PausesHost(http.ResultCode)) {
      services_.Schedule.PauseUntil(host, std::chrono::steady_clock::now() + *wait);
    }
    if (!context_.Sleep(*wait)) {
      return answered;
    }
    http.ResetState();
  }
}

bool THopRunner::AwaitTurn(const std::string& host) {
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    const auto until = services_.Schedule.TryStart(host, now);
    if (!until) {
      return true;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*until - now);
    if (!context_.Sleep(wait)) {
      return false;
    }
  }
}

bool THopRunner::SendOnce(THttpTransaction& http, const std::string& url, const std::string& key,
                          const std::string& host) {
  if (const std::optional<bool> answered = SendOverHttp2(http, url, key, host)) {
    return *answered;
  }
  const bool reused = services_.Policy.KeepAlive && LendPooled(http, key);
  const std::int64_t before = context_.ReceivedBytes();
  context_.TransferBegins();
  bool answered = http.PerformRequest("GET", url);
  // RFC 9112 section 9.3.1: a server may close an idle connection just as a
  // request goes out on it. Nothing of an answer came, so nothing was done:
  // the request goes once more, on a new connection (the failure made the
  // transaction drop this one).
  if (!answered && reused && context_.ReceivedBytes() == before && !context_.Aborted() &&
      !context_.StoppedByLimit()) {
    http.ResetState();
    answered = http.PerformRequest("GET", url);
  }
  context_.TransferEnds();
  return answered;
}

bool THopRunner::LendPooled(THttpTransaction& http, const std::string& key) {
  for (;;) {
    std::optional<TPooledConnection> pooled = services_.Pool.Take(key);
    if (!pooled) {
      return false;
    }
    if (!IdleConnectionUsable(*pooled->Sock)) {
      continue;  // closed by the server meanwhile: it goes with `pooled`
    }
    CopySocketHooks(*http.Sock, *pooled->Sock);
    // The transaction's own socket holds no connection worth keeping here:
    // it is closed as it goes.
    const std::unique_ptr<TTCPBlockSocket> own = context_.SwapSocket(http, std::move(pooled->Sock));
    http.ConnectedHost = pooled->ConnectedHost;
    http.ConnectedPort = pooled->ConnectedPort;
    return true;
  }
}

void THopRunner::Park(THttpTransaction& http, const std::string& key, const std::string& host) {
  if (!services_.Policy.KeepAlive || !http.ConnectionReusable()) {
    return;
  }
  TPooledConnection parked;
  parked.ConnectedHost = std::move(http.ConnectedHost);
  parked.ConnectedPort = std::move(http.ConnectedPort);
  http.ConnectedHost.clear();
  http.ConnectedPort.clear();
  parked.Sock = context_.SwapSocket(http, UnconnectedLike(*http.Sock));
  ClearSocketHooks(*parked.Sock);
  services_.Pool.Give(key, host, std::move(parked));
}

std::optional<std::chrono::milliseconds> THopRunner::RetryWait(int retry,
                                                               const THttpTransaction& http) {
  std::uniform_real_distribution<double> spread(-1.0, 1.0);
  std::chrono::milliseconds wait = BackoffWait(retry, spread(jitter_));
  const std::vector<std::string> retry_after = http.HeadReceived
                                                   ? HeaderFieldValues(http.Headers, "Retry-After")
                                                   : std::vector<std::string>();
  const std::string asked_text = retry_after.empty() ? std::string() : retry_after.front();
  const std::optional<std::chrono::milliseconds> asked =
      asked_text.empty() ? std::nullopt
                         : ParseRetryAfter(asked_text, std::chrono::system_clock::now());
  if (asked) {
    if (*asked > services_.Policy.MaxRetryWait) {
      context_.Note("  no retry: the server asks for a wait of " + WholeSeconds(*asked) +
                    " s, longer than the " + WholeSeconds(services_.Policy.MaxRetryWait) +
                    " s allowed");
      return std::nullopt;
    }
    wait = *asked;
  }
  // A try that could not start before the address's time is up is none.
  if (std::chrono::steady_clock::now() + wait >= context_.Deadline()) {
    return std::nullopt;
  }
  return wait;
}

bool THopRunner::FailUnsent(THttpTransaction& http) {
  const std::int32_t code = context_.Aborted() ? WSAECONNABORTED : WSAETIMEDOUT;
  http.ResultCode = 500;
  http.HeadReceived = false;
  http.Sock->LastErrorCode = code;
  http.Sock->LastErrorText = TBlockSocket::GetErrorDesc(code);
  return false;
}

}  // namespace movrek
