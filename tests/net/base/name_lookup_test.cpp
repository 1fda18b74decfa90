// Host lookups through the stoppable resolver: the answers and error numbers
// callers saw from the system resolver, and a stop that ends a lookup held by
// a name server that never answers.
#include "net/base/name_lookup.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "net/base/socket_api.h"
#include "net/base/winsock_errors.h"
#include "tests/helpers/silent_name_server.h"

namespace movrek {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A name of the host table with an IPv4 address, other than localhost; ""
// when the table has none.
std::pair<std::string, std::string> HostTableEntry() {
  std::ifstream hosts("/etc/hosts");
  std::string line;
  while (std::getline(hosts, line)) {
    std::istringstream fields(line.substr(0, line.find('#')));
    std::string address;
    std::string name;
    if (fields >> address >> name && address.find(':') == std::string::npos &&
        name.find("localhost") == std::string::npos) {
      return {name, address};
    }
  }
  return {};
}

TEST(NameLookup, AnswersAndErrorsAsTheSystemResolverGaveThem) {
  test::SilentNameServer server;
  const TNameServers servers{server.Address(), 300};
  struct Case {
    std::string Host;
    int Family;
    int Code;
    std::string Address;
  };
  std::vector<Case> cases = {
      {"localhost", AF_UNSPEC, 0, "127.0.0.1"},
      {"127.0.0.1", AF_UNSPEC, 0, "127.0.0.1"},
      {"::1", AF_INET6, 0, "::1"},
      {"nothing.invalid", AF_UNSPEC, WSAHOST_NOT_FOUND, ""},
      // A name server that gives no answer is a temporary failure.
      {"no-such-host.example", AF_UNSPEC, WSATRY_AGAIN, ""},
  };
  const auto [tableName, tableAddress] = HostTableEntry();
  if (!tableName.empty()) {
    cases.push_back({tableName, AF_UNSPEC, 0, tableAddress});
  }
  for (const Case& c : cases) {
    TSockAddrAny addr;
    EXPECT_EQ(FillSockAddr(addr, c.Host, "8080", c.Family, IPPROTO_TCP, SOCK_STREAM, true, nullptr,
                           &servers),
              c.Code)
        << c.Host;
    EXPECT_EQ(SockAddrToText(addr), c.Address) << c.Host;
    EXPECT_EQ(SockAddrPort(addr), c.Code == 0 ? 8080 : 0) << c.Host;
  }
  // Only the unknown name reached the name server, in both families.
  EXPECT_GE(server.Dropped(), 2);
}

TEST(NameLookup, StopEndsALookupTheServerNeverAnswers) {
  test::SilentNameServer server;
  const TNameServers servers{server.Address(), 30000};
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(150));
    stop.store(true);
  });
  const auto start = Clock::now();
  TSockAddrAny addr;
  const int code = FillSockAddr(addr, "no-such-host.example", "80", AF_UNSPEC, IPPROTO_TCP,
                                SOCK_STREAM, true, &stop, &servers);
  const auto took = Clock::now() - start;
  stopper.join();
  EXPECT_EQ(code, WSAECONNABORTED);
  EXPECT_EQ(SockAddrLength(addr), 0);
  EXPECT_LT(took, milliseconds(150 + 200));
  EXPECT_GE(server.Dropped(), 1);

  std::vector<std::string> list;
  ResolveHostToList("no-such-host.example", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, list, &stop);
  EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
}

}  // namespace
}  // namespace movrek
