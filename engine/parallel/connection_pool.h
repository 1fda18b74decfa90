// Kept-alive connections of the parallel job between requests: idle ones
// wait here under a key that names everything a request needs the
// connection to have (scheme, host, port, proxy, TLS settings), at most a
// set number per host, none longer than kConnectionIdleMs. Any thread; the
// sockets are only touched by the thread that holds them.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/socket/tcp_block_socket.h"
#include "net/socket/tls_session_cache.h"

namespace movrek {

// An open connection and the peer its transaction connected it to.
struct TPooledConnection {
  std::unique_ptr<TTCPBlockSocket> Sock;
  std::string ConnectedHost;
  std::string ConnectedPort;
};

class TConnectionPool {
 public:
  using TClock = std::chrono::steady_clock;

  TConnectionPool(int perHost, std::chrono::milliseconds idleLimit);
  // Closes the idle connections at once (see CloseIdleConnection).
  ~TConnectionPool();
  TConnectionPool(const TConnectionPool&) = delete;
  TConnectionPool& operator=(const TConnectionPool&) = delete;

  // The connection put back last under `key`, if any is still within its
  // idle time. The caller checks that the server has not closed it.
  std::optional<TPooledConnection> Take(const std::string& key);
  // Keeps the idle connection; the oldest of the host's (or of all) is
  // closed when there are more than allowed. The socket's event hooks must
  // have been cleared: the pool closes it on whatever thread it runs.
  void Give(const std::string& key, const std::string& host, TPooledConnection connection);
  // Closes the connections idle for longer than the limit.
  void CloseExpired(TClock::time_point now);
  std::size_t IdleCount() const;

  // The TLS sessions of the job's connections, for their TLS plug-ins.
  const std::shared_ptr<TTlsSessionCache>& Sessions() const { return sessions_; }

 private:
  struct TIdle {
    std::string Key;
    std::string Host;
    TPooledConnection Connection;
    TClock::time_point Since;
  };
  // Moves the entries that must go into `closing`; under lock_.
  void TakeExpired(TClock::time_point now, std::vector<TPooledConnection>& closing);
  void TakeExcess(const std::string& host, std::vector<TPooledConnection>& closing);

  const int per_host_;
  const std::chrono::milliseconds idle_limit_;
  const std::shared_ptr<TTlsSessionCache> sessions_;
  mutable std::mutex lock_;
  std::deque<TIdle> idle_;  // oldest first; guarded by lock_
};

// A socket not yet connected with the settings and event hooks of `model`,
// to stand in for a connection that goes to the pool.
std::unique_ptr<TTCPBlockSocket> UnconnectedLike(const TTCPBlockSocket& model);

// The event hooks of `from` in `to`: a pooled connection lent to a worker
// reports to that worker.
void CopySocketHooks(const TTCPBlockSocket& from, TTCPBlockSocket& to);

// Ends an idle connection's TLS and closes it without the wait of a socket's
// ordinary close for what the peer may still send: no request is under way,
// so nothing is owed, and a job that ends must not pay a pause per
// connection it kept.
void CloseIdleConnection(TTCPBlockSocket& sock);

// Clears the event hooks of a socket that leaves its owner for the pool.
void ClearSocketHooks(TTCPBlockSocket& sock);

}  // namespace movrek
