// A name server that never answers: a UDP socket on loopback whose queries
// are read and dropped. Given to the program as its name server
// (--dns-servers, TNameServers), it holds every name lookup until the
// lookup's own time-out or a stop.
#pragma once

#include <string>

namespace movrek::test {

// A UDP socket bound to 127.0.0.1 on a port of the system's choice (set in
// `port`); `flags` go to socket(). Throws when none can be had.
int LoopbackUdpSocket(int flags, int& port);

class SilentNameServer {
 public:
  SilentNameServer();
  ~SilentNameServer();
  SilentNameServer(const SilentNameServer&) = delete;
  SilentNameServer& operator=(const SilentNameServer&) = delete;

  // "127.0.0.1:PORT".
  std::string Address() const;
  // Queries dropped so far (reads the ones waiting first).
  int Dropped();

 private:
  int port_ = 0;  // set while fd_ is made
  int fd_ = -1;
  int dropped_ = 0;
};

}  // namespace movrek::test
