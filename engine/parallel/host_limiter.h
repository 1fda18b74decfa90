// Caps the transfers to one host that run at once, so that a list of many
// pages of one site does not open a crowd of connections to it.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace movrek {

class THostLimiter {
 public:
  explicit THostLimiter(int perHost) : per_host_(perHost < 1 ? 1 : perHost) {}

  // Waits for a place at the host. False when closed meanwhile.
  bool Acquire(const std::string& host);
  void Release(const std::string& host);
  // The cap of `host` from now on, in place of the one for every host: an
  // HTTP/2 server takes many requests on one connection.
  void SetLimit(const std::string& host, int limit);
  // Wakes and refuses every waiter.
  void Close();

 private:
  const int per_host_;
  std::mutex lock_;
  std::condition_variable released_;
  std::map<std::string, int> in_use_;  // guarded by lock_
  std::map<std::string, int> limits_;  // guarded by lock_
  bool closed_ = false;                // guarded by lock_
};

// The host an address is fetched from first, lower case with its port
// ("h:80" for "http://H/"); redirects to other hosts count against the first
// one.
std::string HostOfAddress(const std::string& address);

}  // namespace movrek
