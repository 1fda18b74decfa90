#include "tests/helpers/scripted_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace movrek::test {
namespace {

// A minimal blocking client; the server under test is the helper itself.
class Client {
 public:
  explicit Client(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    connect_errno_ = connected_ ? 0 : errno;
  }
  ~Client() { ::close(fd_); }
  bool connected() const { return connected_; }
  int connect_errno() const { return connect_errno_; }
  void Write(const std::string& s) {
    ASSERT_EQ(::send(fd_, s.data(), s.size(), MSG_NOSIGNAL), ssize_t(s.size()));
  }
  void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }
  // Reads until EOF or error; *err gets errno of a failing recv.
  std::string ReadToEnd(int* err = nullptr) {
    std::string out;
    char buf[65536];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 10000) <= 0) break;
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n < 0 && err) *err = errno;
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }
  // Reads what arrives within ms.
  std::string ReadFor(int ms) {
    std::string out;
    char buf[4096];
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, size_t(n));
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  int connect_errno_ = 0;
};

TEST(ScriptedServer, PlaysScriptAndRecordsTheExactRequest) {
  ScriptedServer server;
  server.ReadUntil("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi").Close();
  server.Start();
  Client c(server.port());
  ASSERT_TRUE(c.connected());
  c.Write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(c.ReadToEnd(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi");
  ASSERT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(0), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(server.Problems(), "");
}

TEST(ScriptedServer, ReadRequestFollowsContentLengthAndChunkedBodies) {
  ScriptedServer server;
  server.ReadRequest().ReadRequest().Send("ok");
  server.Start();
  Client c(server.port());
  const std::string first = "POST /a HTTP/1.1\r\ncontent-length: 5\r\n\r\nhello";
  const std::string second =
      "POST /b HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-T: 1\r\n\r\n";
  c.Write(first);
  c.Write(second);
  EXPECT_EQ(c.ReadToEnd(), "ok");
  ASSERT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(0), first + second);
  EXPECT_EQ(server.Problems(), "");
}

TEST(ScriptedServer, ConnectionsPlayTheirOwnScriptsInOrder) {
  ScriptedServer server;
  server.ReadBytes(3).Send("one").NextConnection().ReadBytes(3).Send("two");
  server.Start();
  for (const char* expect : {"one", "two"}) {
    Client c(server.port());
    c.Write("abc");
    EXPECT_EQ(c.ReadToEnd(), expect);
  }
  ASSERT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Connections(), 2u);
  EXPECT_EQ(server.Received(1), "abc");
  // Connections beyond the scripts are accepted and closed at once.
  Client extra(server.port());
  EXPECT_EQ(extra.ReadToEnd(), "");
  EXPECT_TRUE(server.WaitConnections(3, 5000));
}

TEST(ScriptedServer, RepeatedScriptServesEveryLaterConnection) {
  ScriptedServer server;
  server.ReadBytes(1)
      .NextConnection()
      .ReadRequest()
      .Send(HttpResponse("404 Not Found", "no"))
      .RepeatForever();
  server.Start();
  {
    Client first(server.port());
    first.Write("x");
  }
  for (int i = 0; i < 3; ++i) {
    Client c(server.port());
    c.Write("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(c.ReadToEnd(), "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\n\r\nno");
  }
  EXPECT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Connections(), 4u);
}

TEST(ScriptedServer, SplitAndLargeSendsDeliverEveryByte) {
  ScriptedServer server;
  server.SendSplit("0123456789", 3, 5).SendLarge(3 * 1000 * 1000 + 7);
  server.Start();
  Client c(server.port());
  std::string got = c.ReadToEnd();
  ASSERT_EQ(got.size(), 10u + 3000007u);
  EXPECT_EQ(got.substr(0, 10), "0123456789");
  EXPECT_TRUE(got.substr(10) == PatternBytes(3000007)) << "large body differs";
  EXPECT_EQ(PatternBytes(100, 5000), PatternBytes(5100).substr(5000));
  EXPECT_NE(PatternBytes(64, 0), PatternBytes(64, 64));
}

TEST(ScriptedServer, ResetIsSeenAsConnectionReset) {
  ScriptedServer server;
  server.ReadBytes(1).Reset();
  server.Start();
  Client c(server.port());
  c.Write("x");
  int err = 0;
  c.ReadToEnd(&err);
  EXPECT_EQ(err, ECONNRESET);
}

TEST(ScriptedServer, HalfCloseThenReadAllRecordsWhatFollows) {
  ScriptedServer server;
  server.Send("bye").HalfClose().ReadAll();
  server.Start();
  Client c(server.port());
  EXPECT_EQ(c.ReadToEnd(), "bye");
  c.Write("late");
  c.ShutdownWrite();
  ASSERT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(), "late");
}

TEST(ScriptedServer, SilenceKeepsTheConnectionOpenAndDestructionDoesNotWait) {
  auto started = std::chrono::steady_clock::now();
  {
    ScriptedServer server;
    server.Send("a").Silence(60000).Send("never");
    server.Start();
    Client c(server.port());
    EXPECT_EQ(c.ReadFor(300), "a");
    EXPECT_FALSE(server.WaitDone(50));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST(ScriptedServer, ReportsClientsThatBreakTheScript) {
  struct Case {
    const char* sends;
    const char* problem;
  } cases[] = {
      {"GET / HTTP/1.1\r\n", "client closed before"},
      {"GET / HTTP/1.1\r\nContent-Length: 10\r\n\r\nshort", "client closed before"},
      {"GET / HTTP/1.1\r\nContent-Length: many\r\n\r\n", "step threw"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sends);
    ScriptedServer server;
    server.ReadRequest().Send("unreached");
    server.Start();
    {
      Client client(server.port());
      client.Write(c.sends);
    }
    ASSERT_TRUE(server.WaitDone(5000));
    EXPECT_NE(server.Problems().find(c.problem), std::string::npos) << server.Problems();
  }
}

TEST(ScriptedServer, CallStepGetsTheSocket) {
  ScriptedServer server;
  server.Call([](int fd) { return ::send(fd, "cb", 2, MSG_NOSIGNAL) == 2; });
  server.Start();
  Client c(server.port());
  EXPECT_EQ(c.ReadToEnd(), "cb");
}

TEST(ScriptedServer, UnusedLoopbackPortRefusesConnections) {
  Client c(UnusedLoopbackPort());
  EXPECT_FALSE(c.connected());
  EXPECT_EQ(c.connect_errno(), ECONNREFUSED);
}

}  // namespace
}  // namespace movrek::test
