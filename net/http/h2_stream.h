// One request on an HTTP/2 connection as the page that sent it sees it: the
// connection's thread fills in the answer as frames arrive, the page's thread
// waits for it and takes it piece by piece.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace movrek {

// How a stream ended, as far as the page is concerned.
enum class TH2StreamEnd {
  Open = 0,         // still running
  Complete = 1,     // the whole answer arrived
  Unprocessed = 2,  // the server did not act on it: it may go again elsewhere
  Failed = 3,       // reset, or the server broke the protocol or a bound
  Lost = 4,         // the connection broke while the answer arrived
};

enum class TH2Wait {
  Ready = 0,     // something arrived (or the stream ended)
  TimedOut = 1,  // nothing within the time
  Stopped = 2,   // the stop flag was raised (and is consumed)
};

class TH2Stream {
 public:
  using TField = std::pair<std::string, std::string>;

  // --- The connection's thread ---
  // A field of the head being read; ":status" opens a new answer, so an
  // interim (1xx) one is forgotten when the next arrives.
  void AddField(std::string_view name, std::string_view value);
  // The head being read is whole; a final (non-1xx) one becomes the answer.
  void EndHead();
  void AddBody(std::string_view bytes);
  // The first end counts; later ones are ignored.
  void Finish(TH2StreamEnd end, std::string reason);
  // The page gave the stream up: its rest is not wanted.
  [[nodiscard]] bool Cancelled() const { return cancelled_.load(); }
  // Bytes the page has taken but the connection has not yet handed back to
  // the stream's window; zeroes the count.
  std::size_t TakeConsumed();

  std::int32_t Id = 0;  // the stream's number; used by the connection's thread only

  // --- The page's thread ---
  // Waits up to `timeout` for the final head (or the end), checking `stop`.
  TH2Wait AwaitHead(std::chrono::milliseconds timeout, std::atomic<bool>& stop);
  // Moves the body bytes that arrived into `out` (at most `most`), waiting
  // up to `timeout` for some when there are none and the stream runs.
  TH2Wait TakeBody(std::string& out, std::size_t most, std::chrono::milliseconds timeout,
                   std::atomic<bool>& stop);
  void Cancel() { cancelled_.store(true); }

  // Under the page's eyes once AwaitHead is Ready.
  [[nodiscard]] int Status() const;
  [[nodiscard]] std::vector<TField> Head() const;
  [[nodiscard]] TH2StreamEnd End() const;
  [[nodiscard]] std::string Reason() const;
  // Any byte of an answer (a head field) arrived.
  [[nodiscard]] bool Answered() const;
  // The body is all taken and the stream ended.
  [[nodiscard]] bool Drained() const;

 private:
  // Waits on changed_ until `ready` holds, the time is up or `stop` rises.
  template <typename Ready>
  TH2Wait Await(std::unique_lock<std::mutex>& guard, std::chrono::milliseconds timeout,
                std::atomic<bool>& stop, Ready ready);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  // Guarded by lock_:
  std::vector<TField> reading_;  // the head being read
  int reading_status_ = 0;
  std::vector<TField> head_;  // the final head
  int status_ = 0;
  bool head_done_ = false;
  bool answered_ = false;
  std::deque<std::string> body_;
  TH2StreamEnd end_ = TH2StreamEnd::Open;
  std::string reason_;
  std::size_t consumed_ = 0;  // taken, not yet handed back

  std::atomic<bool> cancelled_{false};
};

}  // namespace movrek
