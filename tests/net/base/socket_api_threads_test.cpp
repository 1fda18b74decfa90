#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "net/base/socket_api.h"
#include "net/base/winsock_errors.h"

namespace movrek {
namespace {

// Several sockets may resolve at once; the binding count must stay exact
// while other threads resolve and bind.
TEST(SocketApiThreads, ResolveAndBindConcurrently) {
  const int start = SocketLibraryRefCount();
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([&failures, t] {
      for (int i = 0; i < 50; ++i) {
        BindSocketLibrary("");
        TSockAddrAny addr;
        const char* host = (i % 2 == 0) ? "127.0.0.1" : "localhost";
        if (FillSockAddr(addr, host, std::to_string(1000 + t), AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM,
                         true) != 0 ||
            SockAddrToText(addr) != "127.0.0.1" || SockAddrPort(addr) != 1000 + t) {
          ++failures;
        }
        std::vector<std::string> list;
        ResolveHostToList("localhost", AF_INET, IPPROTO_TCP, SOCK_STREAM, list);
        if (list.empty() || list.front() != "127.0.0.1") ++failures;
        if (FillSockAddr(addr, "x.invalid", "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true) !=
            WSAHOST_NOT_FOUND) {
          ++failures;
        }
        if (!UsesAddrInfo(AF_INET6)) ++failures;
        ReleaseSocketLibrary();
      }
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(SocketLibraryRefCount(), start);
}

}  // namespace
}  // namespace movrek
