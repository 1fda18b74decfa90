#include "net/base/socket_api.h"

#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/base/winsock_errors.h"

namespace movrek {
namespace {

// The services database comes with the netbase package, which the setup
// script installs; on CI its absence is a failure, elsewhere a skip.
bool HasServiceHttp() {
  if (getservbyname("http", "tcp") != nullptr) return true;
  if (std::getenv("CI") != nullptr) ADD_FAILURE() << "no services database (package netbase)";
  return false;
}

TEST(SocketLibrary, CountsBindingsAndNeverGoesNegative) {
  const int start = SocketLibraryRefCount();
  EXPECT_TRUE(BindSocketLibrary(""));
  EXPECT_TRUE(BindSocketLibrary("ws2_32.dll"));
  EXPECT_EQ(SocketLibraryRefCount(), start + 2);
  EXPECT_TRUE(AddrInfoInStack());
  EXPECT_FALSE(AddrInfoFromHelper());
  EXPECT_TRUE(UsesAddrInfo(AF_INET));
  EXPECT_TRUE(UsesAddrInfo(AF_INET6));
  for (int i = 0; i < start + 5; ++i) EXPECT_TRUE(ReleaseSocketLibrary());
  EXPECT_EQ(SocketLibraryRefCount(), 0);
  EXPECT_TRUE(AddrInfoInStack());
  EXPECT_TRUE(BindSocketLibrary("x"));
  EXPECT_EQ(SocketLibraryRefCount(), 1);
}

TEST(FillSockAddr, SpecialHostsGiveTheAddressOfTheFamilyAskedFor) {
  struct Case {
    const char* Host;
    int Family;
    int ExpectedFamily;
    const char* Text;
  };
  const Case cases[] = {
      {"0.0.0.0", AF_INET, AF_INET, "0.0.0.0"},
      {"0.0.0.0", AF_INET6, AF_INET6, "::"},
      {"::0", AF_INET, AF_INET, "0.0.0.0"},
      {"::0", AF_INET6, AF_INET6, "::"},
      {"127.0.0.1", AF_INET, AF_INET, "127.0.0.1"},
      {"127.0.0.1", AF_INET6, AF_INET6, "::1"},
      {"::1", AF_INET, AF_INET, "127.0.0.1"},
      {"::1", AF_INET6, AF_INET6, "::1"},
      {"0.0.0.0", AF_UNSPEC, AF_INET, "0.0.0.0"},
      {"10.1.2.3", AF_INET, AF_INET, "10.1.2.3"},
      {"fe80::1:2", AF_INET6, AF_INET6, "fe80::1:2"},
      {"10.1.2.3", AF_UNSPEC, AF_INET, "10.1.2.3"},
      {"2001:db8::5", AF_UNSPEC, AF_INET6, "2001:db8::5"},
  };
  for (const auto& c : cases) {
    TSockAddrAny addr;
    ASSERT_EQ(FillSockAddr(addr, c.Host, "8080", c.Family, IPPROTO_TCP, SOCK_STREAM, true), 0)
        << c.Host << " family " << c.Family;
    EXPECT_EQ(addr.Family(), c.ExpectedFamily) << c.Host;
    EXPECT_EQ(SockAddrToText(addr), c.Text) << c.Host;
    EXPECT_EQ(SockAddrPort(addr), 8080) << c.Host;
    EXPECT_EQ(SockAddrLength(addr), c.ExpectedFamily == AF_INET ? 16 : 28);
  }
}

TEST(FillSockAddr, LocalhostFollowsThePreferredFamily) {
  TSockAddrAny addr;
  ASSERT_EQ(FillSockAddr(addr, "localhost", "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true), 0);
  EXPECT_EQ(addr.Family(), AF_INET);
  EXPECT_EQ(SockAddrToText(addr), "127.0.0.1");

  // localhost is the loopback address in IPv6 too, host table entry or not
  // (RFC 6761 section 6.3), so it is never asked of a name server.
  ASSERT_EQ(FillSockAddr(addr, "localhost", "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, false), 0);
  EXPECT_EQ(addr.Family(), AF_INET6);
  EXPECT_EQ(SockAddrToText(addr), "::1");
  EXPECT_EQ(SockAddrPort(addr), 80);
}

TEST(FillSockAddr, PortTexts) {
  TSockAddrAny addr;
  EXPECT_EQ(FillSockAddr(addr, "127.0.0.1", "65535", AF_INET, IPPROTO_TCP, SOCK_STREAM, true), 0);
  EXPECT_EQ(SockAddrPort(addr), 65535);
  EXPECT_EQ(FillSockAddr(addr, "127.0.0.1", "", AF_INET, IPPROTO_TCP, SOCK_STREAM, true), 0);
  EXPECT_EQ(SockAddrPort(addr), 0);

  // An unknown service fails; the record stays all zero.
  EXPECT_EQ(FillSockAddr(addr, "127.0.0.1", "no-such-service-here", AF_UNSPEC, IPPROTO_TCP,
                         SOCK_STREAM, true),
            WSATYPE_NOT_FOUND);
  EXPECT_EQ(SockAddrLength(addr), 0);
  EXPECT_EQ(SockAddrToText(addr), "");

  if (!HasServiceHttp()) GTEST_SKIP() << "no services database (package netbase)";
  EXPECT_EQ(FillSockAddr(addr, "127.0.0.1", "http", AF_INET, IPPROTO_TCP, SOCK_STREAM, true), 0);
  EXPECT_EQ(SockAddrPort(addr), 80);
}

TEST(FillSockAddr, ReservedInvalidAndCutNamesFailAtOnce) {
  const auto start = std::chrono::steady_clock::now();
  // A NUL byte must not cut "localhost" out of a longer name.
  const std::string names[] = {"nothing.invalid", "A.B.INVALID.", "invalid",
                               std::string("localhost\0.example", 19)};
  for (const std::string& name : names) {
    TSockAddrAny addr;
    EXPECT_EQ(FillSockAddr(addr, name, "80", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, true),
              WSAHOST_NOT_FOUND)
        << name;
    EXPECT_EQ(SockAddrLength(addr), 0);
    std::vector<std::string> list{"stale"};
    ResolveHostToList(name, AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, list);
    EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
    EXPECT_EQ(ResolveAddressToName(name, AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM), name);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  TSockAddrAny addr;
  EXPECT_NE(FillSockAddr(addr, "127.0.0.1", std::string("80\0", 3), AF_INET, IPPROTO_TCP,
                         SOCK_STREAM, true),
            0);
}

TEST(ResolveHostToList, FiltersByFamily) {
  std::vector<std::string> list;
  ResolveHostToList("localhost", AF_INET, IPPROTO_TCP, SOCK_STREAM, list);
  ASSERT_FALSE(list.empty());
  for (const auto& text : list) EXPECT_EQ(text.find(':'), std::string::npos) << text;
  EXPECT_EQ(list.front(), "127.0.0.1");

  ResolveHostToList("::1", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, list);
  EXPECT_EQ(list, std::vector<std::string>{"::1"});
  ResolveHostToList("::1", AF_INET, IPPROTO_TCP, SOCK_STREAM, list);
  EXPECT_EQ(list, std::vector<std::string>{"0.0.0.0"});
  ResolveHostToList("192.0.2.7", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM, list);
  EXPECT_EQ(list, std::vector<std::string>{"192.0.2.7"});
}

TEST(ResolveServicePort, DecimalServiceAndUnknown) {
  EXPECT_EQ(ResolveServicePort("8080", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM), 8080);
  EXPECT_EQ(ResolveServicePort("0", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM), 0);
  EXPECT_EQ(ResolveServicePort("no-such-service-here", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM), 0);
  if (!HasServiceHttp()) GTEST_SKIP() << "no services database (package netbase)";
  EXPECT_EQ(ResolveServicePort("http", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM), 80);
  EXPECT_EQ(ResolveServicePort("https", AF_INET, IPPROTO_TCP, SOCK_STREAM), 443);
}

TEST(ResolveAddressToName, NamesLoopbackOrKeepsTheText) {
  const std::string name = ResolveAddressToName("127.0.0.1", AF_UNSPEC, IPPROTO_TCP, SOCK_STREAM);
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(LocalHostName().find('\0'), std::string::npos);
  EXPECT_LT(LocalHostName().size(), static_cast<std::size_t>(kLocalHostNameBytes));
}

TEST(SockAddr, ZeroRecordHasNoLengthOrText) {
  TSockAddrAny addr;
  EXPECT_EQ(addr.Family(), 0);
  EXPECT_EQ(SockAddrLength(addr), 0);
  EXPECT_EQ(SockAddrPort(addr), 0);
  EXPECT_EQ(SockAddrToText(addr), "");
}

TEST(SocketErrors, MapsPlatformCodesToWindowsSocketsNumbers) {
  // Codes that share a value on this platform, codes without a direct
  // Windows Sockets name, and codes without any counterpart.
  const std::pair<int, int> errnoCases[] = {
      {0, 0},          {ECONNREFUSED, 10061}, {EWOULDBLOCK, 10035},
      {EAGAIN, 10035}, {EPIPE, 10054},        {ENOENT, ENOENT},
  };
  for (const auto& [platform, winsock] : errnoCases) {
    EXPECT_EQ(WinsockFromErrno(platform), winsock) << platform;
  }
  const std::pair<int, int> resolverCases[] = {
      {0, 0},
      {EAI_NONAME, 11001},
      {EAI_NODATA, 11001},
      {EAI_FAIL, 11001},
      {EAI_AGAIN, 11002},
      {EAI_SERVICE, WSATYPE_NOT_FOUND},
  };
  for (const auto& [code, winsock] : resolverCases) {
    EXPECT_EQ(WinsockFromResolver(code), winsock) << code;
  }
  EXPECT_EQ(WinsockFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, TextsOfTheTableAndTheFallback) {
  EXPECT_EQ(WinsockErrorText(0), "");
  EXPECT_EQ(WinsockErrorText(10061), "Connection refused");
  EXPECT_EQ(WinsockErrorText(11002), "Non authoritative - host not found");
  EXPECT_EQ(WinsockErrorText(12345), "Other Winsock error (12345)");
  EXPECT_EQ(WinsockErrorText(-1), "Other Winsock error (-1)");
  int known = 0;
  for (int code = 10000; code < 12000; ++code) {
    if (WinsockErrorText(code).rfind("Other Winsock error (", 0) != 0) ++known;
  }
  EXPECT_EQ(known, 51);
}

TEST(SocketSet, HoldsAtMost64Handles) {
  TSocketSet set;
  for (int i = 0; i < 70; ++i) SocketSetAdd(100 + i, set);
  EXPECT_EQ(set.Count, kMaxSocketSetHandles);
  EXPECT_TRUE(SocketSetContains(set, 163));
  EXPECT_FALSE(SocketSetContains(set, 164));
  SocketSetClear(set);
  EXPECT_EQ(set.Count, 0);
  EXPECT_FALSE(SocketSetContains(set, 100));
}

// A connected loopback pair: listener, client and accepted end.
struct LoopbackPair {
  TSocket Listener = INVALID_SOCKET;
  TSocket Client = INVALID_SOCKET;
  TSocket Server = INVALID_SOCKET;
  ~LoopbackPair() {
    for (TSocket s : {Listener, Client, Server}) {
      if (s != INVALID_SOCKET) SocketClose(s);
    }
  }
};

void OpenLoopback(LoopbackPair& pair, int family) {
  const char* host = family == AF_INET ? "127.0.0.1" : "::1";
  TSockAddrAny addr;
  ASSERT_EQ(FillSockAddr(addr, host, "0", family, IPPROTO_TCP, SOCK_STREAM, true), 0);
  pair.Listener = SocketCreate(family, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(pair.Listener, INVALID_SOCKET) << SocketLastError();
  ASSERT_EQ(SocketBind(pair.Listener, addr), 0) << SocketLastError();
  ASSERT_EQ(SocketListen(pair.Listener, 4), 0);
  TSockAddrAny bound;
  ASSERT_EQ(SocketLocalAddress(pair.Listener, bound), 0);
  ASSERT_NE(SockAddrPort(bound), 0);
  pair.Client = SocketCreate(family, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_EQ(SocketConnect(pair.Client, bound), 0) << SocketLastError();
  TSockAddrAny peer;
  pair.Server = SocketAccept(pair.Listener, peer);
  ASSERT_NE(pair.Server, INVALID_SOCKET);
  EXPECT_EQ(SockAddrToText(peer), family == AF_INET ? "127.0.0.1" : "::1");
  TSockAddrAny remote;
  ASSERT_EQ(SocketPeerAddress(pair.Client, remote), 0);
  EXPECT_EQ(SockAddrPort(remote), SockAddrPort(bound));
}

bool HasIPv6Loopback() {
  const TSocket s = SocketCreate(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  TSockAddrAny addr;
  FillSockAddr(addr, "::1", "0", AF_INET6, IPPROTO_TCP, SOCK_STREAM, true);
  const bool ok = SocketBind(s, addr) == 0;
  SocketClose(s);
  return ok;
}

class SocketWrappers : public ::testing::TestWithParam<int> {};

TEST_P(SocketWrappers, TransferWaitAndClose) {
  if (GetParam() == AF_INET6 && !HasIPv6Loopback()) GTEST_SKIP() << "no ::1 on this machine";
  SocketStartup(0x0202);
  LoopbackPair pair;
  ASSERT_NO_FATAL_FAILURE(OpenLoopback(pair, GetParam()));

  TSocketSet readable;
  SocketSetAdd(pair.Server, readable);
  EXPECT_EQ(SocketSelect(&readable, nullptr, nullptr, 50), 0);  // nothing sent yet
  EXPECT_EQ(readable.Count, 0);

  ASSERT_EQ(SocketSend(pair.Client, "hello", 5, 0), 5);
  SocketSetClear(readable);
  SocketSetAdd(pair.Server, readable);
  EXPECT_EQ(SocketSelect(&readable, nullptr, nullptr, 2000), 1);
  EXPECT_TRUE(SocketSetContains(readable, pair.Server));
  int available = -1;
  ASSERT_EQ(SocketBytesAvailable(pair.Server, available), 0);
  EXPECT_EQ(available, 5);
  char buffer[16];
  ASSERT_EQ(SocketRecv(pair.Server, buffer, sizeof buffer, 0), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");

  // Non-blocking mode: an empty receive says "would block".
  ASSERT_EQ(SocketSetNonBlocking(pair.Server, true), 0);
  EXPECT_EQ(SocketRecv(pair.Server, buffer, sizeof buffer, 0), SOCKET_ERROR);
  EXPECT_EQ(SocketLastError(), WSAEWOULDBLOCK);
  ASSERT_EQ(SocketSetNonBlocking(pair.Server, false), 0);

  TSocketSet writable;
  SocketSetAdd(pair.Client, writable);
  EXPECT_EQ(SocketSelect(nullptr, &writable, nullptr, 0), 1);

  // After the peer has gone, sending fails with an error (no SIGPIPE ends
  // the test) and receiving reports the end.
  ASSERT_EQ(SocketShutdown(pair.Client, SHUT_WR), 0);
  EXPECT_EQ(SocketRecv(pair.Server, buffer, sizeof buffer, 0), 0);
  SocketClose(pair.Client);
  pair.Client = INVALID_SOCKET;
  int result = 0;
  for (int i = 0; i < 10 && result >= 0; ++i) result = SocketSend(pair.Server, "x", 1, 0);
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(SocketLastError(), WSAECONNRESET);
}

INSTANTIATE_TEST_SUITE_P(Families, SocketWrappers, ::testing::Values(AF_INET, AF_INET6));

TEST(SocketSelect, ReportsEachSetAndAcceptsHandlesBeyondFdSetSize) {
  LoopbackPair pair;
  ASSERT_NO_FATAL_FAILURE(OpenLoopback(pair, AF_INET));
  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  const int high = FD_SETSIZE + 10;
  if (limit.rlim_cur <= static_cast<rlim_t>(high)) GTEST_SKIP() << "descriptor limit too low";
  ASSERT_EQ(dup2(pair.Server, high), high);
  SocketClose(pair.Server);
  pair.Server = high;

  ASSERT_EQ(SocketSend(pair.Client, "x", 1, 0), 1);
  TSocketSet readSet, writeSet, exceptSet;
  SocketSetAdd(pair.Client, readSet);  // nothing to read on this end
  SocketSetAdd(pair.Server, readSet);
  SocketSetAdd(pair.Client, writeSet);
  SocketSetAdd(pair.Server, exceptSet);
  EXPECT_EQ(SocketSelect(&readSet, &writeSet, &exceptSet, 2000), 2);
  EXPECT_EQ(readSet.Count, 1);
  EXPECT_TRUE(SocketSetContains(readSet, high));
  EXPECT_EQ(writeSet.Count, 1);
  EXPECT_EQ(exceptSet.Count, 0);
}

TEST(SocketSelect, TimesOutAfterTheGivenTime) {
  LoopbackPair pair;
  ASSERT_NO_FATAL_FAILURE(OpenLoopback(pair, AF_INET));
  TSocketSet readSet;
  SocketSetAdd(pair.Server, readSet);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(SocketSelect(&readSet, nullptr, nullptr, 300), 0);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(290));
  EXPECT_LT(waited, std::chrono::seconds(3));
}

TEST(SocketWrappersErrors, ReportWindowsSocketsNumbers) {
  // A port nobody listens on: bind one, close it, connect to it.
  TSocket probe = SocketCreate(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  TSockAddrAny addr;
  ASSERT_EQ(FillSockAddr(addr, "127.0.0.1", "0", AF_INET, IPPROTO_TCP, SOCK_STREAM, true), 0);
  ASSERT_EQ(SocketBind(probe, addr), 0);
  TSockAddrAny bound;
  ASSERT_EQ(SocketLocalAddress(probe, bound), 0);
  SocketClose(probe);

  TSocket s = SocketCreate(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  EXPECT_EQ(SocketConnect(s, bound), SOCKET_ERROR);
  EXPECT_EQ(SocketLastError(), WSAECONNREFUSED);
  SocketClose(s);

  char byte = 0;
  EXPECT_EQ(SocketRecv(s, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(SocketLastError(), WSAEBADF);
  TSocketSet set;
  SocketSetAdd(s, set);
  EXPECT_EQ(SocketSelect(&set, nullptr, nullptr, 0), SOCKET_ERROR);
  EXPECT_EQ(SocketLastError(), WSAEBADF);
}

TEST(SocketOptions, TimeoutsTakeMilliseconds) {
  TSocket s = SocketCreate(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(SocketSetTimeoutOption(s, SO_RCVTIMEO, 1500), 0);
  timeval timeout{};
  socklen_t length = sizeof timeout;
  EXPECT_EQ(SocketGetOption(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, length), 0);
  EXPECT_EQ(timeout.tv_sec, 1);
  EXPECT_EQ(timeout.tv_usec, 500000);
  SocketClose(s);
}

}  // namespace
}  // namespace movrek
