#pragma once
// A scripted TCP peer for byte-exact protocol tests: every accepted connection
// plays one script of sends, reads, pauses and closes, and everything the
// client sent is recorded so a test can compare the exact request bytes.
//
// Connections are served one after another on a background thread. When a
// script ends without Close()/Reset(), the connection is closed in order
// (FIN, then what the client still sends is read and recorded). Connections
// beyond the last script are accepted and closed at once, unless the last
// script was marked RepeatForever(). A read step that fails (client closed
// early, nothing within kReadTimeoutMs) ends that connection's script and is
// listed by Problems().

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace movrek::test {

// A loopback TCP port on which nothing listens (for refused-connect tests).
uint16_t UnusedLoopbackPort();

// Deterministic filler bytes: byte i of the stream is a function of
// (offset + i), so any slice of a large body can be checked on its own.
std::string PatternBytes(size_t n, size_t offset = 0);

// "HTTP/1.1 <status>\r\nContent-Length: <n>\r\n<extra_headers>\r\n<body>";
// extra_headers are complete lines, each ending in CRLF.
std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extra_headers = "");

class ScriptedServer {
 public:
  // Called on the server thread with the connected socket; return false to
  // abandon the rest of this connection's script (the socket is then closed).
  using Step = std::function<bool(int fd)>;

  // Binds and listens at once on `address` ("127.0.0.1" or "::1"), port 0;
  // serving starts with Start().
  explicit ScriptedServer(const std::string& address = "127.0.0.1");
  ~ScriptedServer();  // stops, closes, joins; never hangs
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  uint16_t port() const { return port_; }
  // "http://127.0.0.1:PORT" + path (brackets for ::1).
  std::string Url(const std::string& path = "/") const;

  // Script building; call before Start(). Steps apply to the current
  // connection's script, NextConnection() opens the next one.
  ScriptedServer& Send(std::string bytes);  // one send call (all bytes, looping on short writes)
  // Sends `bytes` in pieces of `piece` bytes with `pause_ms` between pieces.
  ScriptedServer& SendSplit(std::string bytes, size_t piece, int pause_ms = 2);
  // Sends n bytes of PatternBytes(n) in large blocks, generated on the fly.
  ScriptedServer& SendLarge(size_t n);
  ScriptedServer& Pause(int ms);
  // Reads (and records) until the terminator was received.
  ScriptedServer& ReadUntil(std::string terminator);
  ScriptedServer& ReadBytes(size_t n);
  // Reads one HTTP/1.x request: the head up to CRLFCRLF, then a body framed by
  // Content-Length or chunked transfer coding if the head announces one.
  ScriptedServer& ReadRequest();
  ScriptedServer& ReadAll();        // reads until the client closes
  ScriptedServer& HalfClose();      // shutdown(SHUT_WR)
  ScriptedServer& Reset();          // SO_LINGER 0 then close: the client sees ECONNRESET
  ScriptedServer& Close();          // orderly close (FIN), then drops the socket
  ScriptedServer& Silence(int ms);  // keeps the connection open, sends nothing
  ScriptedServer& Call(Step step);  // custom step
  ScriptedServer& NextConnection();
  // The script being built also serves every connection after it (instead of
  // those being closed at once).
  ScriptedServer& RepeatForever();

  void Start();

  // Everything the client sent on that connection (thread-safe, any time).
  std::string Received(size_t connection = 0) const;
  size_t Connections() const;  // accepted so far
  // True once every script was played to its end.
  bool WaitDone(int timeout_ms);
  // True once at least n connections were accepted.
  bool WaitConnections(size_t n, int timeout_ms);
  // Script steps that could not complete (peer closed before a terminator,
  // read timed out, send failed), one line each; empty when all went well.
  std::string Problems() const;

  // How long a read step waits for the client before it is recorded as a
  // problem and the connection is dropped.
  static constexpr int kReadTimeoutMs = 15000;

 private:
  struct Action;
  using Script = std::vector<Action>;

  void Serve();
  void Play(int fd, size_t index);
  void CloseOrderly(int fd, size_t index);
  bool Sleep(int ms);  // false when stopping
  bool ReadSome(int fd, size_t index, int timeout_ms, bool* eof);
  // Reads until end_of(received) gives the end of what the step consumes.
  bool ReadUntilEnd(int fd, size_t index, const std::function<size_t(const std::string&)>& end_of,
                    const char* step);
  bool ReadUntilImpl(int fd, size_t index, const std::string& terminator, size_t from);
  bool ReadBytesImpl(int fd, size_t index, size_t from, size_t n);
  bool ReadRequestImpl(int fd, size_t index);
  void Note(size_t index, const std::string& what);

  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::string host_;
  std::vector<Script> scripts_;
  bool repeat_last_ = false;
  // Read cursor of the connection being played (server thread only): bytes
  // before it were consumed by earlier read steps.
  size_t consumed_ = 0;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  int wake_pipe_[2] = {-1, -1};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
  size_t played_ = 0;
  std::string problems_;
};

}  // namespace movrek::test
