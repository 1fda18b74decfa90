// One HTTP/2 connection (RFC 9113) shared by the requests of several pages:
// a thread of its own reads and writes the connection, nghttp2 does the
// framing and header compression, and each request is a TH2Stream that its
// page waits on.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/base/wake_event.h"
#include "net/http/h2_stream.h"
#include "net/socket/tcp_block_socket.h"

namespace movrek {

class THttp2Session {
 public:
  using TClock = std::chrono::steady_clock;
  // The server's SETTINGS_MAX_CONCURRENT_STREAMS, each time its settings
  // arrive; called on the connection's thread.
  using TStreamLimitHook = std::function<void(int limit)>;

  // Takes `sock`, connected, on which TLS chose "h2", and starts the
  // connection's thread, which sends the preface and the client's settings.
  explicit THttp2Session(std::unique_ptr<TTCPBlockSocket> sock, TStreamLimitHook onLimit = {});
  // Says goodbye (GOAWAY), stops the thread and closes the connection; the
  // streams still open fail.
  ~THttp2Session();
  THttp2Session(const THttp2Session&) = delete;
  THttp2Session& operator=(const THttp2Session&) = delete;

  // Sends a request of these fields (pseudo-fields first); null when the
  // connection takes no new streams.
  std::shared_ptr<TH2Stream> Open(std::vector<TH2Stream::TField> fields);
  // The page took body bytes of `stream`: the server may send as many more.
  void Consumed(const std::shared_ptr<TH2Stream>& stream);
  // The page gave `stream` up: it is reset (CANCEL) unless it has ended.
  void Cancel(const std::shared_ptr<TH2Stream>& stream);

  // New streams may go on the connection: it runs and no GOAWAY came.
  [[nodiscard]] bool Usable() const;
  // Streams opened and not yet ended.
  [[nodiscard]] int Streams() const;
  // No stream has run since then; meaningful while Streams() is 0.
  [[nodiscard]] TClock::time_point IdleSince() const;
  // Why the connection ended; empty while it runs.
  [[nodiscard]] std::string Failure() const;

  struct TIo;  // the connection's thread's own state

 private:
  enum class TCommandKind { Open, Consumed, Cancel };
  struct TCommand {
    TCommandKind Kind;
    std::shared_ptr<TH2Stream> Stream;
    std::vector<TH2Stream::TField> Fields;
  };
  void Post(TCommand command);
  void Run();
  // A stream ended (or never started): the count goes down.
  void StreamEnded();
  void MarkGoingAway();
  void MarkDead(const std::string& failure);
  friend struct TIo;

  const std::unique_ptr<TTCPBlockSocket> sock_;
  const TStreamLimitHook on_limit_;
  TWakeEvent wake_;
  mutable std::mutex lock_;
  // Guarded by lock_:
  std::vector<TCommand> commands_;
  bool stopping_ = false;
  bool going_away_ = false;
  bool dead_ = false;
  std::string failure_;
  int streams_ = 0;
  TClock::time_point idle_since_ = TClock::now();

  std::thread thread_;  // last: it starts once all of the above is made
};

}  // namespace movrek
