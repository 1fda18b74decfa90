// One request of a fetch as the parallel job sends it: on a pooled
// connection when one is kept for the server, after the host's turn has come
// (delay, pauses), and again after a failure worth another try.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "engine/parallel/connection_pool.h"
#include "engine/parallel/fetch_policy.h"
#include "engine/parallel/h2_sessions.h"
#include "engine/parallel/host_schedule.h"
#include "engine/parallel/proxy_routes.h"

namespace movrek {

class THttpTransaction;

// What the job shares between the requests of all its workers.
struct THopServices {
  const TFetchPolicy& Policy;
  TConnectionPool& Pool;
  THostSchedule& Schedule;
  // The proxy settings as part of every pool key.
  std::string ProxyKey;
  // Borrowed; when set, each request takes its proxy from here.
  const TProxyRoutes* Routes = nullptr;
  // Borrowed; when set, HTTPS requests go over HTTP/2 to servers that speak it.
  TH2Sessions* H2 = nullptr;
};

// What a request needs of the worker that sends it.
class THopContext {
 public:
  virtual ~THopContext() = default;
  // Sleeps up to `duration`. False when the job was aborted or the
  // address's time ran out meanwhile.
  virtual bool Sleep(std::chrono::milliseconds duration) = 0;
  // When the address's time runs out; the far future when it has no limit.
  virtual std::chrono::steady_clock::time_point Deadline() const = 0;
  virtual bool Aborted() const = 0;
  // The job's own limits (its time, the low-speed rule) stopped the transfer.
  virtual bool StoppedByLimit() const = 0;
  // Puts `sock` into the transaction in place of its socket, which comes
  // back; where another thread may stop the transaction's transfer.
  virtual std::unique_ptr<TTCPBlockSocket> SwapSocket(THttpTransaction& http,
                                                      std::unique_ptr<TTCPBlockSocket> sock) = 0;
  // Bytes received by the worker's transfers so far.
  virtual std::int64_t ReceivedBytes() const = 0;
  // A transfer starts or ends: the low-speed rule watches only in between.
  virtual void TransferBegins() = 0;
  virtual void TransferEnds() = 0;
  // A line for the page's messages (the retry lines).
  virtual void Note(const std::string& line) = 0;
};

class THopRunner {
 public:
  THopRunner(const THopServices& services, THopContext& context);

  // Runs the GET request of `url` on `http`; answers as PerformRequest.
  bool Run(THttpTransaction& http, const std::string& url);

 private:
  // Waits for the host's turn; false when the wait was cut short.
  bool AwaitTurn(const std::string& host);
  // One try: on a pooled connection if one is kept, once more on a new one
  // when that was closed under the request.
  bool SendOnce(THttpTransaction& http, const std::string& url, const std::string& key,
                const std::string& host);
  // The try over HTTP/2 (hop_runner_h2.cpp); nothing when the request goes
  // the HTTP/1.1 way: HTTP/2 is off, the address is not https, or the
  // server chose HTTP/1.1 (whose new connection then waits in `http`).
  std::optional<bool> SendOverHttp2(THttpTransaction& http, const std::string& url,
                                    const std::string& key, const std::string& host);
  // Connects `http`, offering HTTP/2; the server's connection when it took
  // it, else null (and `http` holds the HTTP/1.1 one, or the failure).
  std::unique_ptr<TTCPBlockSocket> ProbeHttp2(THttpTransaction& http, const std::string& url);
  bool LendPooled(THttpTransaction& http, const std::string& key);
  void Park(THttpTransaction& http, const std::string& key, const std::string& host);
  // The wait before the next try, or nothing when there is to be none.
  std::optional<std::chrono::milliseconds> RetryWait(int retry, const THttpTransaction& http);
  // Ends a request that never went out with the time-out (or the stop).
  bool FailUnsent(THttpTransaction& http);

  const THopServices& services_;
  THopContext& context_;
  std::minstd_rand jitter_;
};

}  // namespace movrek
