// The HTTP/2 connections of the parallel job: one per server and way to it
// (the pool's key), shared by the pages of that server. Whether a server
// speaks HTTP/2 is learnt from the first connection's TLS handshake (ALPN);
// meanwhile the other pages of that server wait for the answer rather than
// open connections of their own. Any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "net/http/h2_session.h"

namespace movrek {

class TH2Sessions {
 public:
  using TClock = std::chrono::steady_clock;
  // streams: the streams one connection carries at most (the server's own
  // limit may be lower); http1Limit: the transfers to a host that speaks
  // HTTP/1.1 only (or is not known yet). onGrown: a host's capacity grew;
  // called on any thread, with no lock of this held.
  TH2Sessions(int streams, int http1Limit, std::chrono::milliseconds idleLimit,
              std::function<void()> onGrown);
  TH2Sessions(const TH2Sessions&) = delete;
  TH2Sessions& operator=(const TH2Sessions&) = delete;
  ~TH2Sessions();

  enum class TWay {
    Http2 = 0,  // Session carries the request
    Http1 = 1,  // the server does not speak HTTP/2
    Probe = 2,  // the caller connects and tells the answer (Settle or Forget)
    Stopped = 3,
  };
  struct TLease {
    TWay Way = TWay::Probe;
    std::shared_ptr<THttp2Session> Session;
  };
  // How a request for `key` goes; waits while another page probes the
  // server, until `stopped` answers true.
  TLease Find(const std::string& key, const std::function<bool()>& stopped);
  // The probe of `key` connected; `sock` chose HTTP/2 (made into the shared
  // connection, which comes back) or not (null: the server speaks HTTP/1.1).
  std::shared_ptr<THttp2Session> Settle(const std::string& key, const std::string& host,
                                        std::unique_ptr<TTCPBlockSocket> sock);
  // The probe of `key` failed, or `session` (when given) refused a request:
  // the next request makes a new connection.
  void Forget(const std::string& key, const THttp2Session* session = nullptr);
  // The transfers `host` ("host:port") may take at once: the streams of its
  // HTTP/2 connection, else http1Limit. Takes no lock but its own.
  [[nodiscard]] int Capacity(const std::string& host) const;

  // Closes the connections without streams idle for longer than the limit,
  // and those that ended.
  void CloseExpired(TClock::time_point now);

 private:
  struct TEntry {
    bool Probing = false;
    bool Http1 = false;
    std::shared_ptr<THttp2Session> Session;
  };

  const int streams_;
  const int http1_limit_;
  // Sets the capacity of `host` (clamped to 1..streams_); tells onGrown.
  void SetCapacity(const std::string& host, int capacity);

  const std::chrono::milliseconds idle_limit_;
  const std::function<void()> on_grown_;
  mutable std::mutex capacity_lock_;
  std::map<std::string, int> capacities_;  // guarded by capacity_lock_
  std::mutex lock_;
  std::condition_variable settled_;
  std::map<std::string, TEntry> entries_;  // guarded by lock_
};

}  // namespace movrek
