#include "net/http/http_transaction.h"

#include <sys/mman.h>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

#include "net/base/base64.h"
#include "net/base/ip_text.h"
#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/http/http_limits.h"
#include "net/http/http_text.h"
#include "net/http/request_url.h"
#include "net/socket/line_limit_guard.h"
#include "net/socket/socket_limits.h"

namespace movrek {

using namespace http_text;

namespace {

// A decimal number with an optional sign, or `fallback` when the text is
// none. Values beyond 32 bits come back as kBeyond32Bits (or its negative)
// so that the caller can tell a length too large from no length.
constexpr int64_t kBeyond32Bits = int64_t{std::numeric_limits<int32_t>::max()} + 1;

int64_t DecimalOr(const std::string& text, int64_t fallback) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i++] == '-';
  }
  if (i == text.size()) {
    return fallback;
  }
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      return fallback;
    }
    value = std::min(value * 10 + (text[i] - '0'), kBeyond32Bits);
  }
  return negative ? -value : value;
}

// A chunk size (RFC 9112 section 7.1): hexadecimal digits, at most
// kBeyond32Bits; -1 when the text is no hexadecimal number.
int64_t ChunkSize(const std::string& text) {
  if (text.empty()) {
    return -1;
  }
  int64_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return -1;
    }
    value = std::min(value * 16 + digit, kBeyond32Bits);
  }
  return value;
}

std::string HostText(const std::string& host) {
  return IsIPv6Text(host) ? "[" + host + "]" : host;
}

int32_t ClampToInt32(size_t value) {
  return static_cast<int32_t>(
      std::min<size_t>(value, static_cast<size_t>(std::numeric_limits<int32_t>::max())));
}

// Room for `capacity` bytes of body.
void ReserveBody(std::string& document, size_t capacity) {
  document.reserve(capacity);
  if (document.capacity() < kHugePageBodyFromBytes) {
    return;
  }
  // Advice on the whole huge pages inside the buffer only; the kernel may
  // ignore it.
  constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<uintptr_t>(document.data());
  const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const uintptr_t last = (begin + document.capacity()) & ~(kHugePage - 1);
  if (last > first) {
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

// Makes room for the next `part` bytes of a counted stretch (a counted body)
// of which `remaining` bytes are still to come and `arrived` bytes are here.
// The room grows geometrically with what really arrives, so an announced
// length alone commits nothing. Once enough of a long stretch has arrived
// (or doubling would already cover half of it) the room for all of it is
// taken at once, so a large body is copied only while it is small and the
// peak stays near the body's own size.
void GrowForCounted(std::string& document, size_t part, size_t remaining, size_t arrived) {
  const size_t needed = document.size() + part;
  if (document.capacity() >= needed) {
    return;
  }
  const size_t full = document.size() + remaining;
  size_t grown = std::max(needed, 2 * document.capacity());
  if (grown < full && (grown >= full / 2 || arrived >= kCountedTrustAfterBytes)) {
    grown = full;
  }
  ReserveBody(document, grown);
}

// Makes room for `part` more bytes of a body whose whole size nobody
// announced (until close, chunked).
void GrowForUnknown(std::string& document, size_t part) {
  const size_t needed = document.size() + part;
  if (document.capacity() >= needed) {
    return;
  }
  const size_t doubled = std::max(needed, 2 * document.capacity());
  if (doubled <= kMaxBodyDoublingBytes) {
    ReserveBody(document, doubled);
    return;
  }
  try {
    ReserveBody(document, kMaxBodyBytes);
  } catch (const std::bad_alloc&) {
    // No address space to spare (strict overcommit): grow in smaller steps.
    ReserveBody(document, needed + needed / 4);
  }
}

}  // namespace

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
  MimeType = "text/html";
}

void THttpTransaction::AbortTransfer() {
  Sock->StopFlag.store(true);
}

void THttpTransaction::ParseStatusLine(const std::string& line) {
  const std::string rest = TrimControls(TextAfter(line, " "));
  const int64_t code = DecimalOr(TrimControls(TextBefore(rest, " ")), 0);
  ResultCode = std::abs(code) < kBeyond32Bits ? static_cast<int32_t>(code) : 0;
  const std::string phrase = TrimControls(TextAfter(rest, " "));
  ResultString = phrase == rest ? std::string() : phrase;
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

bool THttpTransaction::RunRequest(const std::string& method, const std::string& url) {
  ResultCode = 500;
  ResultString.clear();
  DownloadSize = 0;
  UploadSize = 0;

  TRequestUrl parts;
  if (const int refused = SplitRequestUrl(url, parts); refused != 0) {
    Fail(refused);
    return false;
  }
  const std::string& protocol = parts.Protocol;
  const std::string& host = parts.Host;
  const std::string& port = parts.Port;
  const std::string& request_path = parts.Target;
  std::string user = parts.User;
  std::string password = parts.Password;
  if (user.empty()) {
    user = UserName;
    password = Password;
  }

  const bool https = AsciiUpper(protocol) == "HTTPS";
  const bool tunnelling = https && !ProxyHost.empty();
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
  const bool plain_proxy = !ProxyHost.empty() && !tunnelling;
  const bool send_body = !Document.empty();
  const bool expect_mode = Status100 && send_body && Protocol == "1.1";

  // The head, top line first; lines the caller left in Headers follow it.
  std::vector<std::string> head;
  std::string target = request_path;
  if (plain_proxy) {
    target = protocol + "://" + HostText(host) + ":" + port + request_path;
  }
  if (target == "/*") {
    target = "*";  // RFC 9112 section 3.2.4: asterisk form
  }
  head.push_back(AsciiUpper(method) + " " + target +
                 (Protocol == "0.9" ? std::string() : " HTTP/" + Protocol));
  std::string host_line = "Host: " + HostText(host);
  if (AddPortNumberToHost && port != "80") {
    host_line += ":" + port;
  }
  head.push_back(host_line);
  if (!ProxyHost.empty() && !ProxyUser.empty() && !tunnelling) {
    head.push_back("Proxy-Authorization: Basic " + ToBase64(ProxyUser + ":" + ProxyPass));
  }
  if (!user.empty()) {
    head.push_back("Authorization: Basic " + ToBase64(user + ":" + password));
  }
  if (!KeepAlive) {
    head.emplace_back("Connection: close");
  }
  std::string cookies;
  for (const std::string& entry : Cookies) {
    if (!cookies.empty()) {
      cookies += "; ";
    }
    cookies += entry;
  }
  if (!cookies.empty()) {
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
  if (send_body && !MimeType.empty()) {
    head.push_back("Content-Type: " + MimeType);
  }
  if (send_body) {
    head.push_back("Content-Length: " + std::to_string(Document.size()));
  }
  if (expect_mode) {
    head.emplace_back("Expect: 100-continue");
  }
  Headers.insert(Headers.begin(), head.begin(), head.end());

  TargetHost = plain_proxy ? ProxyHost : host;
  TargetPort = plain_proxy ? ProxyPort : port;
  if (!Headers.back().empty()) {
    Headers.emplace_back();
  }

  if (!EnsureConnection(https)) {
    return false;
  }

  std::string early_status;
  std::vector<std::string> early_lines;
  size_t head_bytes = 0;
  if (!SendRequest(expect_mode, early_status, early_lines, head_bytes)) {
    return false;
  }

  ResetState();
  int64_t size = -1;
  BodyFraming = THttpBodyFraming::UntilClose;
  bool to_close = Protocol != "1.1";

  if (!early_status.empty()) {
    // The server answered the Expect request with its final status; the
    // header lines of that answer were read already.
    Headers.push_back(early_status);
    for (const std::string& line : early_lines) {
      Headers.push_back(line);
      if (!line.empty()) {
        ApplyHeaderLine(line, size, to_close);
      }
    }
  } else {
    if (!ReadStatusLines(head_bytes)) {
      return false;
    }
    if (!Headers.empty()) {
      for (;;) {
        std::string line;
        if (!ReceiveHeadLine(line, head_bytes)) {
          break;
        }
        Headers.push_back(line);
        if (line.empty()) {
          break;
        }
        ApplyHeaderLine(line, size, to_close);
      }
    }
  }
  if (Sock->LastErrorCode != 0) {
    return false;
  }

  bool result = true;
  // RFC 9110 sections 9.3.2, 15.3.5 and 15.4.5: no body after these.
  if (method != "HEAD" && ResultCode != 204 && ResultCode != 304) {
    switch (BodyFraming) {
      case THttpBodyFraming::UntilClose:
        result = ReadUntilClose();
        break;
      case THttpBodyFraming::Counted:
        // A length no 32-bit count can hold is a body this client cannot
        // take; reading part of it and calling that the page would lie.
        if (size >= kBeyond32Bits) {
          Fail(WSAEMSGSIZE);
          result = false;
        } else {
          result = ReadCounted(static_cast<int32_t>(size), true);
        }
        break;
      case THttpBodyFraming::Chunked:
        result = ReadChunks();
        break;
    }
  }

  if (to_close) {
    Sock->CloseConnection();
    ConnectedHost.clear();
    ConnectedPort.clear();
  }
  CaptureCookies();
  return result;
}

bool THttpTransaction::SendRequest(bool expect_mode, std::string& early_status,
                                   std::vector<std::string>& early_lines, size_t& head_bytes) {
  const auto send_document = [this] {
    UploadSize = ClampToInt32(Document.size());
    if (Document.size() <= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
      Sock->SendBytes(Document.data(), static_cast<int32_t>(Document.size()));
    } else {
      Sock->SendStreamPlain(Document);
    }
  };

  if (expect_mode) {
    // RFC 9110 section 10.1.1: the body waits for the interim 100 answer.
    Sock->SendText(RequestHeadText());
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    std::string line;
    while (ReceiveHeadLine(line, head_bytes) && line.empty()) {
    }
    ParseStatusLine(line);
    early_status = line;
    while (Sock->LastErrorCode == 0) {
      if (!ReceiveHeadLine(line, head_bytes)) {
        break;
      }
      early_lines.push_back(line);
      if (line.empty()) {
        break;
      }
    }
    if (Sock->LastErrorCode == 0 && ResultCode >= 100 && ResultCode < 200) {
      early_status.clear();
      early_lines.clear();
      send_document();
    }
  } else if (!Document.empty() && Document.size() < kSeparateBodyFromBytes) {
    const std::string text = RequestHeadText() + Document;
    UploadSize = ClampToInt32(text.size());
    Sock->SendText(text);
  } else if (!Document.empty()) {
    Sock->SendText(RequestHeadText());
    if (Sock->LastErrorCode == 0) {
      send_document();
    }
  } else {
    Sock->SendText(RequestHeadText());
  }
  return Sock->LastErrorCode == 0;
}

// Reads up to the final status line; interim 100 answers stay in Headers
// above it. A first line that is no status line starts the body of an
// answer without head, as HTTP/0.9 servers send it.
bool THttpTransaction::ReadStatusLines(size_t& head_bytes) {
  do {
    std::string line;
    while (ReceiveHeadLine(line, head_bytes) && line.empty()) {
    }
    if (Sock->LastErrorCode == WSAENOBUFS && Headers.empty() && head_bytes <= kMaxHeadBytes) {
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
  } while (ResultCode == 100);
  return true;
}

bool THttpTransaction::ReceiveHeadLine(std::string& line, size_t& head_bytes) {
  line = Sock->ReceiveLine(Timeout);
  if (Sock->LastErrorCode != 0) {
    return false;
  }
  // Interim answers and blank lines count too: a server that sends them
  // without end must not make the head grow without end.
  head_bytes += line.size() + 2;
  if (head_bytes > kMaxHeadBytes) {
    Fail(WSAENOBUFS);
    return false;
  }
  return true;
}

void THttpTransaction::Fail(int32_t code) {
  Sock->LastErrorCode = code;
  Sock->LastErrorText = TBlockSocket::GetErrorDesc(code);
}

void THttpTransaction::ApplyHeaderLine(const std::string& line, int64_t& size, bool& to_close) {
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
    MimeType = TrimControls(TextAfter(line, " "));
  } else if (StartsWith(upper, "TRANSFER-ENCODING:")) {
    // RFC 9112 section 6.3: chunked framing overrides any Content-Length.
    if (TrimControls(TextAfter(upper, " ")).find("CHUNKED") != std::string::npos) {
      BodyFraming = THttpBodyFraming::Chunked;
    }
  } else if (StartsWith(upper, "CONNECTION: CLOSE")) {
    to_close = true;
  }
}

bool THttpTransaction::EnsureConnection(bool tls) {
  // Reuse only an idle connection on which nothing has arrived: data or a
  // close there would be taken for the next answer.
  if (Sock->Handle != INVALID_SOCKET && ConnectedHost == TargetHost &&
      ConnectedPort == TargetPort && Sock->ReadAhead.empty() && !Sock->WaitReadable(0)) {
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

bool THttpTransaction::ReadUntilClose() {
  for (;;) {
    std::string chunk = Sock->ReceiveChunk(Timeout);
    if (!AppendBody(chunk)) {
      return false;
    }
    if (Sock->LastErrorCode != 0) {
      break;
    }
  }
  // The server's close is the end of such a body (RFC 9112 section 6.3).
  if (Sock->LastErrorCode == WSAECONNRESET) {
    Sock->ClearError();
    return true;
  }
  return false;
}

bool THttpTransaction::AppendBody(const std::string& bytes) {
  if (bytes.size() > kMaxBodyBytes - std::min(Document.size(), kMaxBodyBytes)) {
    return FailBodyTooLarge();
  }
  GrowForUnknown(Document, bytes.size());
  Document += bytes;
  return true;
}

bool THttpTransaction::FailBodyTooLarge() {
  Sock->LastErrorCode = WSAENOBUFS;
  Sock->LastErrorText = TBlockSocket::GetErrorDesc(WSAENOBUFS);
  return false;
}

bool THttpTransaction::ReadCounted(int32_t size, bool whole_body) {
  if (size < 1) {
    return true;
  }
  if (static_cast<size_t>(size) > kMaxBodyBytes - std::min(Document.size(), kMaxBodyBytes)) {
    return FailBodyTooLarge();
  }
  DownloadSize = size;
  const int64_t block = std::max<int32_t>(Sock->SendMaxChunk, 1);
  const int64_t segment = block * kCountedSegmentBlocks;
  int64_t remaining = size;
  // Whole blocks per segment keep the blocks the same as one reception of
  // the whole size.
  while (remaining > 0) {
    const int64_t part = std::min(remaining, segment);
    if (whole_body) {
      GrowForCounted(Document, static_cast<size_t>(part), static_cast<size_t>(remaining),
                     static_cast<size_t>(size - remaining));
    } else {
      GrowForUnknown(Document, static_cast<size_t>(part));
    }
    Sock->ReceiveIntoStream(Document, Timeout, part);
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    remaining -= part;
  }
  return true;
}

bool THttpTransaction::ReadChunks() {
  // RFC 9112 section 7.1; trailer lines after the last chunk are left unread.
  for (;;) {
    std::string line;
    do {
      line = Sock->ReceiveLine(Timeout);
    } while (line.empty() && Sock->LastErrorCode == 0);
    if (Sock->LastErrorCode != 0) {
      break;
    }
    const int64_t size =
        ChunkSize(TrimControls(TextBefore(TrimControls(TextBefore(line, " ")), ";")));
    if (size == 0) {
      break;
    }
    // A size line that is no number, or a size no 32-bit count can hold,
    // leaves the rest of the body unframed: what arrived is not the page.
    if (size < 0 || size >= kBeyond32Bits) {
      Fail(size < 0 ? WSAEINVAL : WSAEMSGSIZE);
      break;
    }
    // The chunks together have no announced size: the body grows as for
    // one read until close.
    if (!ReadCounted(static_cast<int32_t>(size), false)) {
      break;
    }
  }
  return Sock->LastErrorCode == 0;
}

void THttpTransaction::CaptureCookies() {
  for (const std::string& line : Headers) {
    if (!StartsWith(AsciiLower(line), "set-cookie:")) {
      continue;
    }
    const std::string pair = TrimControls(TextBefore(TextAfter(line, ":"), ";"));
    const std::string name = TrimControls(TextBefore(pair, "="));
    const std::string value = TrimControls(TextAfter(pair, "="));
    const std::string lower_name = AsciiLower(name);
    const auto same_name = [&lower_name](const std::string& entry) {
      return AsciiLower(TextBefore(entry, "=")) == lower_name;
    };
    const auto found = std::find_if(Cookies.begin(), Cookies.end(), same_name);
    if (value.empty()) {
      if (found != Cookies.end()) {
        Cookies.erase(found);
      }
      continue;
    }
    std::string entry = name;
    entry += '=';
    entry += value;
    if (found != Cookies.end()) {
      *found = std::move(entry);
    } else {
      Cookies.push_back(std::move(entry));
    }
  }
}

}  // namespace movrek
