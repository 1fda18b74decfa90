#include "net/http/http_transaction.h"

#include <algorithm>
#include <limits>

#include "net/base/base64.h"
#include "net/base/ip_text.h"
#include "net/base/winsock_errors.h"
#include "net/http/header_fields.h"
#include "net/http/http_head_parser.h"
#include "net/http/http_limits.h"
#include "net/http/request_url.h"
#include "net/socket/line_limit_guard.h"
#include "net/socket/socket_limits.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

std::string HostText(const std::string& host) {
  return IsIPv6Text(host) ? "[" + host + "]" : host;
}

int32_t ClampToInt32(size_t value) {
  return static_cast<int32_t>(
      std::min<size_t>(value, static_cast<size_t>(std::numeric_limits<int32_t>::max())));
}

// The answer's final status line is HTTP/1.0 (or older): such a server
// closes after the answer unless both sides asked otherwise.
bool AnswersBelow11(const std::vector<std::string>& head) {
  for (auto line = head.rbegin(); line != head.rend(); ++line) {
    if (StartsWith(AsciiUpper(*line), "HTTP/")) {
      return !StartsWith(AsciiUpper(*line), "HTTP/1.1");
    }
  }
  return true;
}

// RFC 9110 sections 9.3.2, 15.3.5 and 15.4.5: no body after these.
bool NoBodyFollows(const std::string& method, int32_t code) {
  return method == "HEAD" || code == 204 || code == 304;
}

}  // namespace

bool IdleConnectionUsable(TTCPBlockSocket& sock) {
  return sock.Handle != INVALID_SOCKET && sock.ReadAhead.empty() && sock.PendingBytes() == 0 &&
         !sock.WaitReadable(0);
}

THttpTransaction::THttpTransaction() : Sock(std::make_unique<TTCPBlockSocket>()) {
  Sock->ConvertLineEnd = true;
  Timeout = kDefaultTransferTimeoutMs;
  TargetPort = "80";
  ResetState();
}

THttpTransaction::~THttpTransaction() {
  // The socket goes first: freeing it closes the connection.
  Sock.reset();
}

void THttpTransaction::ResetState() {
  RangeStart = 0;
  RangeEnd = 0;
  std::string().swap(Document);  // gives the memory of the last body back
  Headers.clear();
  ContentLength = -1;
  MimeType = "text/html";
}

void THttpTransaction::AbortTransfer() {
  Sock->StopFlag.store(true);
}

std::string THttpTransaction::RequestHeadText() const {
  if (Protocol == "0.9") {
    return (Headers.empty() ? std::string() : Headers.front()) + "\r\n";
  }
  std::string text;
  for (const std::string& line : Headers) {
    text += line;
    text += "\r\n";
  }
  return text;
}

bool THttpTransaction::PerformRequest(const std::string& method, const std::string& url) {
  bool result = false;
  {
    const TLineLimitGuard limit(*Sock, kMaxHeadLineBytes);
    result = RunRequest(method, url);
  }
  // A connection on which a request failed is in an unknown state (part of
  // an answer may still be on its way) and must not carry the next request.
  if (!result) {
    ConnectedHost.clear();
    ConnectedPort.clear();
  }
  return result;
}

bool THttpTransaction::ConnectionReusable() const {
  return reusable_ && Sock->Handle != INVALID_SOCKET && !ConnectedHost.empty();
}

bool THttpTransaction::RunRequest(const std::string& method, const std::string& url) {
  reusable_ = false;
  chunks_ended_ = false;
  HeadReceived = false;
  AnswerError.clear();
  ResultCode = 500;
  ResultString.clear();
  DownloadSize = 0;
  UploadSize = 0;

  TRequestUrl parts;
  if (const int refused = SplitRequestUrl(url, parts); refused != 0) {
    Fail(refused);
    return false;
  }
  const bool https = AsciiUpper(parts.Protocol) == "HTTPS";
  const bool expectMode = Status100 && !Document.empty() && Protocol == "1.1";
  PrepareRequest(method, parts, https, expectMode);
  if (!EnsureConnection(https)) {
    return false;
  }

  // One bound for the whole head: an answer to the Expect request and the
  // answer after the body count together.
  THttpHeadParser head(LineBound());
  bool answered = false;
  if (!SendRequest(expectMode, head, answered)) {
    return false;
  }

  ResetState();
  BodyFraming = THttpBodyFraming::UntilClose;
  THttpBodyPlan plan;
  if (!ReadResponseHead(head, answered, plan)) {
    return false;
  }
  HeadReceived = true;
  // RFC 9112 section 9.3: an HTTP/1.0 server closes after its answer.
  const bool toClose = Protocol != "1.1" || plan.AsksClose || AnswersBelow11(Headers);
  const bool result = ReadBody(method, plan.Length);
  const bool framedEnd = NoBodyFollows(method, ResultCode) ||
                         BodyFraming == THttpBodyFraming::Counted ||
                         (BodyFraming == THttpBodyFraming::Chunked && chunks_ended_);
  reusable_ = result && !sink_stopped_ && !toClose && framedEnd && ResultCode >= 200;

  if (toClose) {
    Sock->CloseConnection();
    ConnectedHost.clear();
    ConnectedPort.clear();
  }
  CaptureCookies();
  return result;
}

void THttpTransaction::PrepareRequest(const std::string& method, const TRequestUrl& parts,
                                      bool https, bool expectMode) {
  const bool tunnelling = https && !ProxyHost.empty();
  SetTunnel(tunnelling);
  const bool plainProxy = !ProxyHost.empty() && !tunnelling;
  std::vector<std::string> head = RequestHeadLines(method, parts, plainProxy, expectMode);
  ApplyHeaderOverrides(HeaderOverrides, head);
  // The lines the caller left in Headers follow the ones made here.
  Headers.insert(Headers.begin(), head.begin(), head.end());
  TargetHost = plainProxy ? ProxyHost : parts.Host;
  TargetPort = plainProxy ? ProxyPort : parts.Port;
  if (!Headers.back().empty()) {
    Headers.emplace_back();
  }
}

void THttpTransaction::SetTunnel(bool tunnelling) {
  if (tunnelling) {
    Sock->HTTPTunnelIP = ProxyHost;
    Sock->HTTPTunnelPort = ProxyPort;
    Sock->HTTPTunnelUser = ProxyUser;
    Sock->HTTPTunnelPass = ProxyPass;
  } else {
    Sock->HTTPTunnelIP.clear();
    Sock->HTTPTunnelPort.clear();
    Sock->HTTPTunnelUser.clear();
    Sock->HTTPTunnelPass.clear();
  }
}

std::vector<std::string> THttpTransaction::RequestHeadLines(const std::string& method,
                                                            const TRequestUrl& parts,
                                                            bool plainProxy,
                                                            bool expectMode) const {
  std::string target = parts.Target;
  if (plainProxy) {
    target = parts.Protocol + "://" + HostText(parts.Host) + ":" + parts.Port + parts.Target;
  }
  if (target == "/*") {
    target = "*";  // RFC 9112 section 3.2.4: asterisk form
  }
  std::vector<std::string> head;
  head.push_back(AsciiUpper(method) + " " + target +
                 (Protocol == "0.9" ? std::string() : " HTTP/" + Protocol));
  std::string hostLine = "Host: " + HostText(parts.Host);
  if (AddPortNumberToHost && parts.Port != "80") {
    hostLine += ":" + parts.Port;
  }
  head.push_back(hostLine);
  if (plainProxy && !ProxyUser.empty()) {
    head.push_back("Proxy-Authorization: Basic " + ToBase64(ProxyUser + ":" + ProxyPass));
  }
  // Credentials in the URL win over the transaction's own.
  const bool urlCredentials = !parts.User.empty();
  const std::string& user = urlCredentials ? parts.User : UserName;
  const std::string& password = urlCredentials ? parts.Password : Password;
  if (!user.empty()) {
    head.push_back("Authorization: Basic " + ToBase64(user + ":" + password));
  }
  if (!KeepAlive) {
    head.emplace_back("Connection: close");
  }
  if (const std::string cookies = CookieText(); !cookies.empty()) {
    head.push_back("Cookie: " + cookies);
  }
  if ((RangeStart > 0 || RangeEnd > 0) && RangeEnd >= RangeStart) {
    head.push_back("Range: bytes=" + std::to_string(RangeStart) + "-" + std::to_string(RangeEnd));
  } else if (RangeEnd < RangeStart) {
    head.push_back("Range: bytes=" + std::to_string(RangeStart) + "-");
  }
  if (!UserAgent.empty()) {
    head.push_back("User-Agent: " + UserAgent);
  }
  if (!AcceptEncoding.empty()) {
    head.push_back("Accept-Encoding: " + AcceptEncoding);
  }
  const bool sendBody = !Document.empty();
  if (sendBody && !MimeType.empty()) {
    head.push_back("Content-Type: " + MimeType);
  }
  if (sendBody) {
    head.push_back("Content-Length: " + std::to_string(Document.size()));
  }
  if (expectMode) {
    head.emplace_back("Expect: 100-continue");
  }
  return head;
}

bool THttpTransaction::SendRequest(bool expectMode, THttpHeadParser& head, bool& answered) {
  if (expectMode) {
    // RFC 9110 section 10.1.1: the body waits for the interim 100 answer.
    Sock->SendText(RequestHeadText());
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    head.Begin(THttpHeadMode::ExpectAnswer);
    const bool received = ReceiveHead(head);
    const std::vector<std::string>& status = head.Head().StatusLines;
    ParseStatusLine(status.empty() ? std::string() : status.front());
    if (!received) {
      return false;
    }
    answered = ResultCode < 100 || ResultCode >= 200;
    if (!answered) {
      SendDocument();
    }
  } else if (!Document.empty() && Document.size() < kSeparateBodyFromBytes) {
    const std::string text = RequestHeadText() + Document;
    UploadSize = ClampToInt32(text.size());
    Sock->SendText(text);
  } else if (!Document.empty()) {
    Sock->SendText(RequestHeadText());
    if (Sock->LastErrorCode == 0) {
      SendDocument();
    }
  } else {
    Sock->SendText(RequestHeadText());
  }
  return Sock->LastErrorCode == 0;
}

void THttpTransaction::SendDocument() {
  UploadSize = ClampToInt32(Document.size());
  if (Document.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    Sock->SendBytes(Document.data(), static_cast<int32_t>(Document.size()));
  } else {
    Sock->SendStreamPlain(Document);
  }
}

void THttpTransaction::Fail(int32_t code) {
  Sock->LastErrorCode = code;
  Sock->LastErrorText = TBlockSocket::GetErrorDesc(code);
}

void THttpTransaction::FailLineTooLong() {
  Sock->LastErrorCode = WSAENOBUFS;
  Sock->RaiseIfFailed();
}

size_t THttpTransaction::LineBound() const {
  return Sock->MaxLineLength > 0 ? static_cast<size_t>(Sock->MaxLineLength)
                                 : std::numeric_limits<size_t>::max();
}

void THttpTransaction::KeepUnread(std::string_view rest) {
  Sock->ReadAhead.insert(0, rest);
}

void THttpTransaction::HandOverPartner(char partner) {
  if (partner != 0) {
    Sock->SawLoneCR = partner == '\n';
    Sock->SawLoneLF = partner == '\r';
  }
}

bool THttpTransaction::EnsureConnection(bool tls) {
  if (ConnectedHost == TargetHost && ConnectedPort == TargetPort && IdleConnectionUsable(*Sock)) {
    return true;
  }
  return OpenConnection(tls);
}

bool THttpTransaction::OpenConnection(bool tls) {
  Sock->CloseConnection();
  // A failure of the last request stays in the socket across the close.
  Sock->ClearError();
  Sock->BindTo(IPInterface, "0");
  if (Sock->LastErrorCode != 0) {
    return false;
  }
  Sock->ConnectTo(TargetHost, TargetPort);
  if (Sock->LastErrorCode != 0) {
    return false;
  }
  if (tls) {
    // RFC 6066 section 3: the server name is a host name, never an address.
    const bool address = IsIPv4Text(TargetHost) || IsIPv6Text(TargetHost);
    Sock->TlsPlugin->SNIHost = address ? std::string() : TargetHost;
    // The handshake waits as long as any read of this transaction would.
    Sock->TlsTimeout = Timeout;
    Sock->StartTls();
    if (Sock->LastErrorCode != 0) {
      return false;
    }
  }
  ConnectedHost = TargetHost;
  ConnectedPort = TargetPort;
  return true;
}

}  // namespace movrek
