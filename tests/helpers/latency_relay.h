#pragma once
// A loopback TCP relay that makes a local server look far away: every
// connection accepted on its port is carried to the target, and the bytes
// of each direction are held for a set time before they go on (25 ms each
// way is a 50 ms round trip). A close travels with the same delay. Counts
// the connections it accepted, which is how a test sees connection reuse.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace movrek::test {

class LatencyRelay {
 public:
  // Listens at once on `listen_address` (a free port) and relays to
  // target_host:target_port, holding each direction one_way_ms.
  LatencyRelay(const std::string& target_host, uint16_t target_port, int one_way_ms,
               const std::string& listen_address = "127.0.0.1");
  ~LatencyRelay();  // stops, closes every connection, joins
  LatencyRelay(const LatencyRelay&) = delete;
  LatencyRelay& operator=(const LatencyRelay&) = delete;

  uint16_t port() const { return port_; }
  // "SCHEME://LISTEN_ADDRESS:PORT" + path.
  std::string Url(const std::string& scheme, const std::string& path = "/") const;
  std::size_t Connections() const { return accepted_.load(); }

 private:
  struct Link;
  void Serve();
  // Carries one direction of a link: reads `from`, writes to `to` once
  // each piece is one_way_ms old.
  void Carry(const std::shared_ptr<Link>& link, int from, int to);
  void ReapFinished();

  std::string target_host_;
  uint16_t target_port_;
  int one_way_ms_;
  std::string listen_address_;
  int listen_fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> accepted_{0};
  std::thread acceptor_;
  std::mutex lock_;
  struct Carrier {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Carrier> carriers_;  // guarded by lock_
};

}  // namespace movrek::test
