// The latency relay as a program, for benchmark scripts:
//   movrek_latency_relay TARGET_HOST TARGET_PORT ONE_WAY_MS [LISTEN_ADDRESS]
// prints its port, then answers each line "count" read from standard input
// with the number of connections accepted so far; ends at the end of input.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/helpers/latency_relay.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s TARGET_HOST TARGET_PORT ONE_WAY_MS [LISTEN_ADDRESS]\n",
                 argv[0]);
    return 2;
  }
  movrek::test::LatencyRelay relay(argv[1], static_cast<uint16_t>(std::stoi(argv[2])),
                                   std::stoi(argv[3]), argc > 4 ? argv[4] : "127.0.0.1");
  std::cout << relay.port() << std::endl;
  for (std::string line; std::getline(std::cin, line);) {
    if (line == "count") {
      std::cout << relay.Connections() << std::endl;
    }
  }
  return 0;
}
