#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/http/http_response_head.h"
#include "net/http/net_client.h"
#include "net/socket/tcp_block_socket.h"

namespace movrek {

class THttpBodyDecoder;
class THttpBodySink;
class THttpHeadParser;
struct TRequestUrl;

// The idle connection is open and the server has sent nothing on it since
// the last answer, checked without waiting: no close, no stray bytes (a late
// body, a second answer) that the next request would take for its own. Bytes
// the TLS layer holds decrypted count too.
bool IdleConnectionUsable(TTCPBlockSocket& sock);

// One HTTP/1.x request at a time over an owned blocking TCP socket. Driven by
// one thread; another thread may only call AbortTransfer. The head and the
// body's framing are read by THttpHeadParser and THttpBodyDecoder, fed with
// what the socket has; stretches of plain body bytes go from the socket
// straight to the document or the sink.
class THttpTransaction : public TNetClient {
 public:
  THttpTransaction();
  ~THttpTransaction() override;

  // Owned connection; created with ConvertLineEnd set. Hook Sock->OnStatus for
  // progress; the socket also reports its close while the transaction is
  // destroyed, so whatever the hook refers to must outlive the transaction.
  std::unique_ptr<TTCPBlockSocket> Sock;
  THttpBodyFraming BodyFraming = THttpBodyFraming::UntilClose;
  std::string ConnectedHost;  // empty when no open connection may be reused
  std::string ConnectedPort;
  // Before a request: extra request lines. After it: the response head
  // (status lines, header lines as received, the final empty line).
  std::vector<std::string> Headers;
  // Before a request: the body to send. After it: the response body, unless
  // BodySink took it.
  std::string Document;
  // Borrowed; when set, response bodies go to it as they arrive and
  // Document stays empty. The sink must outlive every request made with it.
  THttpBodySink* BodySink = nullptr;
  // The length the current response's head announced; -1 when it gave none
  // (chunked, until close).
  int64_t ContentLength = -1;
  // The codings offered in an Accept-Encoding line; empty: no such line.
  std::string AcceptEncoding;
  std::string MimeType = "text/html";
  std::string Protocol = "1.0";  // "0.9", "1.0" or "1.1"
  bool KeepAlive = true;         // false adds "Connection: close"
  bool Status100 = false;        // "Expect: 100-continue" for bodies under 1.1
  std::string ProxyHost;         // empty = no proxy
  std::string ProxyPort = "8080";
  std::string ProxyUser;
  std::string ProxyPass;
  int32_t ResultCode = 0;  // 500 while a request runs and when nothing came back
  std::string ResultString;
  std::string UserAgent = "Mozilla/4.0 (compatible; Movrek)";
  // "Name: value" lines that take the place of any line of that name the
  // request would have (and go last); "Name:" alone only removes them.
  std::vector<std::string> HeaderOverrides;
  std::vector<std::string> Cookies;  // "name=value", sent with every request
  // Size of the body (or of the chunk) being read with a known length, else 0.
  int32_t DownloadSize = 0;
  // Bytes handed to the socket together with the body.
  int32_t UploadSize = 0;
  int32_t RangeStart = 0;  // with RangeEnd 0: the whole resource
  int32_t RangeEnd = 0;
  bool AddPortNumberToHost = true;
  // After a request: the whole response head arrived.
  bool HeadReceived = false;
  // After a failed request: why the answer could not be taken although the
  // connection held ("too many interim answers (17)"); empty otherwise.
  std::string AnswerError;

  // Clears the last response (Document, Headers, range, MimeType); the
  // settings and Cookies stay.
  void ResetState();

  // Runs one transaction. True when the head was read and the body to its end
  // as framed; false on a connect, send or receive failure (Sock->LastErrorCode
  // tells which; ResultCode stays 500 when nothing was received).
  bool PerformRequest(const std::string& method, const std::string& url);

  // The last request's answer was read to the end its framing gives (its
  // length, the empty line after the last chunk, or no body at all), it was
  // an HTTP/1.1 answer that did not ask for the close, and the connection is
  // still open: it may carry the next request. False after any failure and
  // after a body that was cut or ran until the close.
  [[nodiscard]] bool ConnectionReusable() const;

  // Sets ResultCode and ResultString from a status line.
  void ParseStatusLine(const std::string& line);

  // Asks the transfer in progress to stop; the only call meant for another
  // thread. The next send or receive fails with 10053.
  void AbortTransfer();

  // The request head as sent: every line of Headers followed by CR LF (only
  // the request line under protocol "0.9").
  [[nodiscard]] std::string RequestHeadText() const;

 private:
  friend class TH2Exchange;  // the same request and answer over an HTTP/2 stream

  // Building and sending the request, the connection (http_transaction.cpp).
  bool RunRequest(const std::string& method, const std::string& url);
  // Puts the request head in front of the caller's lines in Headers and
  // chooses the peer: the target, or the proxy (directly or as a tunnel).
  void PrepareRequest(const std::string& method, const TRequestUrl& parts, bool https,
                      bool expectMode);
  void SetTunnel(bool tunnelling);
  [[nodiscard]] std::vector<std::string> RequestHeadLines(const std::string& method,
                                                          const TRequestUrl& parts, bool plainProxy,
                                                          bool expectMode) const;
  // With expectMode the server answers the head first: answered is set when
  // that answer is the final one (its head is then in `head`).
  bool SendRequest(bool expectMode, THttpHeadParser& head, bool& answered);
  void SendDocument();
  bool EnsureConnection(bool tls);
  bool OpenConnection(bool tls);
  // Ends the request with a socket error number of its own (a refused URL, a
  // head too large, a body framed beyond reading).
  void Fail(int32_t code);
  // Ends it as the socket ends a line past its MaxLineLength.
  void FailLineTooLong();
  // The longest head or chunk-size line taken (the socket's MaxLineLength).
  [[nodiscard]] size_t LineBound() const;
  // Bytes received and not taken go back for the next read.
  void KeepUnread(std::string_view rest);
  // A line that ended with a lone CR or LF as the last byte at hand: the
  // socket drops its partner if that arrives first.
  void HandOverPartner(char partner);

  // The response head (response_head_reading.cpp). Every line of it,
  // interim answers included, counts into the one bound of `head`; with
  // `answered` it was read already.
  bool ReadResponseHead(THttpHeadParser& head, bool answered, THttpBodyPlan& plan);
  // Feeds the parser until the head ends; what follows stays in ReadAhead.
  bool ReceiveHead(THttpHeadParser& head);
  // Takes the status of the head read so far into ResultCode and
  // ResultString, its lines into Headers.
  void TakeHeadLines(const THttpResponseHead& head);

  // The body (http_body.cpp, framed_body.cpp); size is the announced length.
  bool ReadBody(const std::string& method, int64_t size);
  // Reads the body as THttpBodyDecoder frames it, fed from the socket.
  bool ReadFramed(int64_t size);
  // The decoder wants more raw body bytes than are at hand: they go
  // straight from the socket to the document or the sink.
  bool ReadRawStretch(THttpBodyDecoder& decoder);
  bool ReadUntilClose();
  // wholeBody: size is the body's announced length, not one chunk's.
  bool ReadCounted(int32_t size, bool wholeBody);
  // After the last chunk: the trailer lines and the empty line that ends the
  // message, when they are at hand.
  void ReadTrailer(THttpBodyDecoder& decoder, std::string& input, std::string_view& rest);
  void FailFraming(THttpBodyDecoder& decoder);
  // Hands body bytes to BodySink or the document.
  bool TakeBodyBytes(std::string_view bytes);
  // Appends to a body of unknown size; false (WSAENOBUFS) past kMaxBodyBytes.
  bool AppendBody(std::string_view bytes);
  bool FailBodyTooLarge();
  // The body handed to BodySink (streamed_body.cpp); noBody: the response
  // carries none, but the sink still learns of it.
  bool StreamBody(bool noBody, int64_t size);
  bool StreamCounted(int64_t size);
  // Hands a piece on; false (WSAENOBUFS) past kMaxBodyBytes.
  bool PassBody(std::string_view piece);
  // The sink wants no more: the rest stays unread, so the connection cannot
  // carry another request.
  bool StopBody();

  // Cookies (http_cookies.cpp): the Cookie line's value, and the
  // Set-Cookie lines of the answer taken into Cookies.
  [[nodiscard]] std::string CookieText() const;
  void CaptureCookies();

  // The last answer may leave the connection to the next request
  // (ConnectionReusable); set at the end of each request.
  bool reusable_ = false;
  // The chunked body of the last answer ended with its empty line.
  bool chunks_ended_ = false;
  bool sink_stopped_ = false;  // BodySink declined the rest of this body
  size_t streamed_ = 0;        // bytes of this body handed to BodySink
};

}  // namespace movrek
