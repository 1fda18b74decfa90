#include "net/http/h2_exchange.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <utility>

#include "net/base/winsock_errors.h"
#include "net/http/h2_session.h"
#include "net/http/header_fields.h"
#include "net/http/http_body_sink.h"
#include "net/http/http_limits.h"
#include "net/http/http_response_head.h"
#include "net/http/http_transaction.h"
#include "net/http/request_url.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// RFC 9113 section 8.2.2: fields of an HTTP/1.1 connection, never sent on
// a stream ("te" only as "trailers"). Host becomes ":authority".
bool ConnectionSpecific(const std::string& name, std::string_view value) {
  return name == "connection" || name == "keep-alive" || name == "proxy-connection" ||
         name == "transfer-encoding" || name == "upgrade" || name == "host" ||
         (name == "te" && value != "trailers");
}

// HTTP/2 has no reason phrase (RFC 9113 section 8.3.2); the usual one stands
// in for it where a front end shows the status.
struct TReason {
  int Code;
  const char* Text;
};
constexpr TReason kUsualReasons[] = {
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {408, "Request Timeout"},
    {410, "Gone"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {429, "Too Many Requests"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

std::string UsualReason(int code) {
  for (const TReason& reason : kUsualReasons) {
    if (reason.Code == code) {
      return reason.Text;
    }
  }
  return {};
}

}  // namespace

std::vector<TH2Stream::TField> TH2Exchange::RequestFields(const THttpTransaction& http,
                                                          const TRequestUrl& parts) {
  std::vector<std::string> lines = http.RequestHeadLines("GET", parts, false, false);
  ApplyHeaderOverrides(http.HeaderOverrides, lines);
  const std::string& request = lines.front();
  const std::size_t first = request.find(' ');
  const std::size_t last = request.rfind(' ');
  std::string authority =
      parts.Host.find(':') == std::string::npos ? parts.Host : "[" + parts.Host + "]";
  if (parts.Port != "443") {
    authority += ":" + parts.Port;
  }
  std::vector<TH2Stream::TField> fields = {
      {":method", request.substr(0, first)},
      {":scheme", "https"},
      {":authority", std::move(authority)},
      {":path", last > first ? request.substr(first + 1, last - first - 1) : parts.Target},
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t colon = lines[i].find(':');
    if (colon == std::string::npos) {
      continue;
    }
    std::string name = AsciiLower(lines[i].substr(0, colon));
    std::string_view value = TrimControls(std::string_view(lines[i]).substr(colon + 1));
    if (!ConnectionSpecific(name, value)) {
      fields.emplace_back(std::move(name), std::string(value));
    }
  }
  return fields;
}

bool TH2Exchange::ConnectOffering(THttpTransaction& http, const std::string& url) {
  TRequestUrl parts;
  if (const int refused = SplitRequestUrl(url, parts); refused != 0) {
    http.Fail(refused);
    return false;
  }
  http.SetTunnel(!http.ProxyHost.empty());
  http.ConnectedHost.clear();
  http.ConnectedPort.clear();
  http.TargetHost = parts.Host;
  http.TargetPort = parts.Port;
  TCustomSSL& tls = *http.Sock->TlsPlugin;
  tls.AlpnOffer = {"h2", "http/1.1"};
  const bool open = http.OpenConnection(true);
  // The offer belongs to this handshake: a later one on the socket is the
  // HTTP/1.1 path's own.
  tls.AlpnOffer.clear();
  return open;
}

void TH2Exchange::Begin(THttpTransaction& http) {
  http.reusable_ = false;
  http.chunks_ended_ = false;
  http.sink_stopped_ = false;
  http.streamed_ = 0;
  http.HeadReceived = false;
  http.AnswerError.clear();
  http.ResultCode = 500;
  http.ResultString.clear();
  http.DownloadSize = 0;
  http.UploadSize = 0;
  http.Sock->ClearError();
  // An HTTP/1.1 connection of an earlier hop is no part of this request.
  http.Sock->CloseConnection();
  http.ConnectedHost.clear();
  http.ConnectedPort.clear();
}

TH2Outcome TH2Exchange::Run(THttpTransaction& http, THttp2Session& session,
                            const std::string& url) {
  Begin(http);
  TRequestUrl parts;
  if (const int refused = SplitRequestUrl(url, parts); refused != 0) {
    http.Fail(refused);
    return TH2Outcome::Failed;
  }
  const std::shared_ptr<TH2Stream> stream = session.Open(RequestFields(http, parts));
  if (stream == nullptr) {
    http.Fail(WSAECONNRESET);
    http.Sock->LastErrorText = "the connection takes no new requests";
    return TH2Outcome::Unprocessed;
  }
  const TH2Wait wait =
      stream->AwaitHead(std::chrono::milliseconds(http.Timeout), http.Sock->StopFlag);
  if (wait != TH2Wait::Ready) {
    session.Cancel(stream);
    http.Fail(wait == TH2Wait::Stopped ? WSAECONNABORTED : WSAETIMEDOUT);
    return TH2Outcome::Failed;
  }
  if (stream->Status() == 0) {
    return Fail(http, *stream);
  }
  TakeHead(http, *stream);
  const TH2Outcome outcome = ReadBody(http, session, stream);
  if (outcome == TH2Outcome::Answered) {
    http.CaptureCookies();
  }
  return outcome;
}

void TH2Exchange::TakeHead(THttpTransaction& http, const TH2Stream& stream) {
  http.ResetState();
  // The same head value as an HTTP/1.1 answer's, so that everything after
  // reads it alike; HTTP/2 frames the body itself (RFC 9113 section 8.1).
  THttpResponseHead head;
  head.StatusCode = stream.Status();
  head.Reason = UsualReason(head.StatusCode);
  head.Version = "HTTP/2";
  head.StatusLines.push_back("HTTP/2 " + std::to_string(head.StatusCode));
  for (const auto& [name, value] : stream.Head()) {
    std::string line = name;
    line += ": ";
    line += value;
    head.FieldLines.push_back(std::move(line));
  }
  head.FieldLines.emplace_back();
  http.TakeHeadLines(head);
  const THttpBodyPlan plan = BodyPlanOf(head.FieldLines);
  if (plan.MimeType) {
    http.MimeType = *plan.MimeType;
  }
  http.BodyFraming = plan.Length >= 0 ? THttpBodyFraming::Counted : THttpBodyFraming::UntilClose;
  if (plan.Length >= 0) {
    http.ContentLength = plan.Length;
    http.DownloadSize =
        static_cast<std::int32_t>(std::min<std::int64_t>(plan.Length, kBeyond32Bits - 1));
  }
  http.HeadReceived = true;
}

TH2Outcome TH2Exchange::ReadBody(THttpTransaction& http, THttp2Session& session,
                                 const std::shared_ptr<TH2Stream>& shared) {
  TH2Stream& stream = *shared;
  if (http.BodySink != nullptr && !http.BodySink->BeginBody(http)) {
    http.sink_stopped_ = true;
    session.Cancel(shared);
    return TH2Outcome::Answered;
  }
  for (;;) {
    std::string piece;
    const TH2Wait wait = stream.TakeBody(
        piece, kStreamPieceBytes, std::chrono::milliseconds(http.Timeout), http.Sock->StopFlag);
    if (!piece.empty()) {
      session.Consumed(shared);
      if (http.Sock->OnStatus) {
        // The page's progress and its low-speed watch count what arrives.
        http.Sock->OnStatus(http.Sock.get(), HR_ReadCount, std::to_string(piece.size()));
      }
      const bool taken = http.BodySink != nullptr ? http.PassBody(piece) : http.AppendBody(piece);
      if (!taken || http.sink_stopped_) {
        session.Cancel(shared);
        return taken ? TH2Outcome::Answered : TH2Outcome::Failed;
      }
      continue;
    }
    if (wait != TH2Wait::Ready) {
      session.Cancel(shared);
      http.Fail(wait == TH2Wait::Stopped ? WSAECONNABORTED : WSAETIMEDOUT);
      return TH2Outcome::Failed;
    }
    if (stream.End() != TH2StreamEnd::Complete) {
      return Fail(http, stream);
    }
    if (http.BodySink != nullptr) {
      http.BodySink->EndBody();
    }
    return TH2Outcome::Answered;
  }
}

TH2Outcome TH2Exchange::Fail(THttpTransaction& http, const TH2Stream& stream) {
  const TH2StreamEnd end = stream.End();
  if (end == TH2StreamEnd::Lost || end == TH2StreamEnd::Unprocessed) {
    http.Fail(WSAECONNRESET);
    http.Sock->LastErrorText = stream.Reason();
    return end == TH2StreamEnd::Unprocessed ? TH2Outcome::Unprocessed : TH2Outcome::Failed;
  }
  // The server broke the protocol or a bound: an answer that cannot be
  // taken, not a network failure.
  http.Fail(WSAECONNRESET);
  http.AnswerError = stream.Reason();
  return TH2Outcome::Failed;
}

}  // namespace movrek
