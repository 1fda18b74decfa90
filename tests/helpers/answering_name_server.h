#pragma once
// A name server on loopback that answers A and AAAA queries from a table
// (RFC 1035 section 4.1): each name with its addresses in the order given,
// NXDOMAIN for any other name. Serves on a thread of its own until destroyed.

#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace movrek::test {

class AnsweringNameServer {
 public:
  // name (lower case, no final dot) -> addresses as text, IPv4 and IPv6 mixed.
  explicit AnsweringNameServer(std::map<std::string, std::vector<std::string>> table);
  ~AnsweringNameServer();
  AnsweringNameServer(const AnsweringNameServer&) = delete;
  AnsweringNameServer& operator=(const AnsweringNameServer&) = delete;

  // "127.0.0.1:PORT".
  std::string Address() const;

 private:
  void Serve();
  std::string Answer(const std::string& query) const;

  const std::map<std::string, std::vector<std::string>> table_;
  int port_ = 0;  // set while fd_ is made
  int fd_ = -1;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace movrek::test
