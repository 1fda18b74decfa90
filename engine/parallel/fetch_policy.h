// How the parallel job treats servers: kept-alive connections, retries,
// pauses between requests to one host, and the low-speed rule.
#pragma once

#include <chrono>
#include <cstdint>

#include "engine/parallel/parallel_limits.h"

namespace movrek {

struct TFetchPolicy {
  // HTTP/1.1 requests on pooled connections; false: HTTP/1.0, one
  // connection per request.
  bool KeepAlive = true;
  // HTTPS servers that offer HTTP/2 in the TLS handshake get it: one
  // connection per server, its requests as streams. False: HTTP/1.1 only.
  bool Http2 = true;
  // Tries after the first for a failure worth another (see retry_policy.h).
  int Retries = kDefaultRetries;
  // The longest Retry-After waited for; a server that asks for more gets no
  // retry.
  std::chrono::milliseconds MaxRetryWait{kDefaultMaxRetryWaitMs};
  // Least time between the starts of two requests to one host.
  std::chrono::milliseconds Delay{0};
  // A transfer that receives fewer than MinSpeedBytes in MinSpeedWindow ends
  // with a time-out; 0 bytes: no such rule.
  std::int64_t MinSpeedBytes = kDefaultMinSpeedBytes;
  std::chrono::milliseconds MinSpeedWindow{kDefaultMinSpeedWindowMs};
};

}  // namespace movrek
