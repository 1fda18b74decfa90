#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http/net_client.h"
#include "net/socket/tcp_block_socket.h"

namespace movrek {

// How the body of the current response is delimited (RFC 9112 section 6).
enum class THttpBodyFraming {
  UntilClose = 0,  // no length given: the body ends when the server closes
  Counted = 1,     // a Content-Length line gave the size
  Chunked = 2,     // Transfer-Encoding: chunked
};

// One HTTP/1.x request at a time over an owned blocking TCP socket. Driven by
// one thread; another thread may only call AbortTransfer.
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
  // Before a request: the body to send. After it: the response body.
  std::string Document;
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
  std::vector<std::string> Cookies;  // "name=value", sent with every request
  // Size of the body (or of the chunk) being read with a known length, else 0.
  int32_t DownloadSize = 0;
  // Bytes handed to the socket together with the body.
  int32_t UploadSize = 0;
  int32_t RangeStart = 0;  // with RangeEnd 0: the whole resource
  int32_t RangeEnd = 0;
  bool AddPortNumberToHost = true;

  // Clears the last response (Document, Headers, range, MimeType); the
  // settings and Cookies stay.
  void ResetState();

  // Runs one transaction. True when the head was read and the body to its end
  // as framed; false on a connect, send or receive failure (Sock->LastErrorCode
  // tells which; ResultCode stays 500 when nothing was received).
  bool PerformRequest(const std::string& method, const std::string& url);

  // Sets ResultCode and ResultString from a status line.
  void ParseStatusLine(const std::string& line);

  // Asks the transfer in progress to stop; the only call meant for another
  // thread. The next send or receive fails with 10053.
  void AbortTransfer();

  // The request head as sent: every line of Headers followed by CR LF (only
  // the request line under protocol "0.9").
  [[nodiscard]] std::string RequestHeadText() const;

 private:
  bool EnsureConnection(bool tls);
  bool OpenConnection(bool tls);
  bool ReadUntilClose();
  // whole_body: size is the body's announced length, not one chunk's.
  bool ReadCounted(int32_t size, bool whole_body);
  bool ReadChunks();
  // Appends to a body of unknown size; false (WSAENOBUFS) past kMaxBodyBytes.
  bool AppendBody(const std::string& bytes);
  bool FailBodyTooLarge();
  void CaptureCookies();

  bool RunRequest(const std::string& method, const std::string& url);
  // Every line of an answer's head, interim answers included, counts into
  // head_bytes; past the bound the request fails.
  bool ReadStatusLines(size_t& head_bytes);
  bool ReceiveHeadLine(std::string& line, size_t& head_bytes);
  void ApplyHeaderLine(const std::string& line, int64_t& size, bool& to_close);
  bool SendRequest(bool expect_mode, std::string& early_status,
                   std::vector<std::string>& early_lines, size_t& head_bytes);
  // Ends the request with a socket error number of its own (a refused URL, a
  // head too large, a body framed beyond reading).
  void Fail(int32_t code);
};

}  // namespace movrek
