// A name server that never answers: a UDP socket on loopback whose queries
// are read and dropped. Handed to the program through the resolver's test
// hook (MOVREK_TEST_DNS_SERVER), it holds every name lookup until the
// lookup's own time-out or a stop.
#pragma once

#include <string>

#include "tests/helpers/scoped_env.h"

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

  // "127.0.0.1:PORT", the value of the test hook.
  std::string Address() const;
  // Queries dropped so far (reads the ones waiting first).
  int Dropped();

 private:
  int port_ = 0;  // set while fd_ is made
  int fd_ = -1;
  int dropped_ = 0;
};

// Points this process's lookups (and those of programs it starts with its
// environment) at `server`, with `timeoutMs` for a lookup's one try.
class SilentNameServerHook {
 public:
  SilentNameServerHook(const SilentNameServer& server, int timeoutMs)
      : server_("MOVREK_TEST_DNS_SERVER", server.Address()),
        timeout_("MOVREK_TEST_DNS_TIMEOUT_MS", std::to_string(timeoutMs)) {}

 private:
  ScopedEnv server_;
  ScopedEnv timeout_;
};

}  // namespace movrek::test
