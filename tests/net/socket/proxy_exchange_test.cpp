// SOCKS 5/4/4a and HTTP CONNECT against a scripted proxy: the exact bytes the
// client sends, how each reply is judged, silent and closing proxies, the
// address queries while proxied, and listening directly and through SOCKS.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/base/winsock_errors.h"
#include "net/socket/socks_block_socket.h"
#include "net/socket/tcp_block_socket.h"
#include "tests/helpers/scripted_server.h"
#include "tests/net/socket/socket_test_support.h"

namespace movrek::test {
namespace {

using namespace std::string_literals;

constexpr int kDoneMs = 5000;

template <class Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  return param.param.name;
}

// --- SOCKS connect ------------------------------------------------------------

// One round trip of the exchange: the server reads exactly what the client
// must send at this step, then answers.
struct Step {
  std::string expect;  // bytes the client sends at this step
  std::string reply;   // the proxy's answer
};

struct SocksCase {
  const char* name;
  TSocksType type;
  bool resolver;
  std::string host, port, user, pass;
  std::vector<Step> steps;
  int error;
  std::string replyAddress, replyPort;
};

std::string Quad(const char* bytes) {
  return std::string(bytes, 4);
}

const std::string kGreetNoAuth = "\x05\x01\x00"s;
const std::string kGreetAuth = "\x05\x02\x02\x00"s;
const std::string kAliceSecret = "\x01\x05"s + "alice" + "\x06"s + "secret";
const std::string kOkV4Reply = "\x05\x00\x00\x01"s + Quad("\x0a\x00\x00\x01") + "\x00\x50"s;

// Request heads and replies that many cases share.
std::string V5Connect(const std::string& address) {
  return "\x05\x01\x00"s + address;
}
std::string V4Connect(const std::string& rest) {
  return "\x04\x01"s + rest;
}
const std::string kV4Loopback80 = "\x00\x50"s + Quad("\x7f\x00\x00\x01");
const std::string kV5Loopback80 = "\x01"s + Quad("\x7f\x00\x00\x01") + "\x00\x50"s;
const std::string kV4GrantedEmpty = "\x00\x5a\x00\x00"s + Quad("\x00\x00\x00\x00");
const std::string kV5Empty = Quad("\x00\x00\x00\x00") + "\x00\x00"s;

std::vector<SocksCase> SocksCases() {
  const std::string longName(256, 'a');
  const Step greet = {kGreetNoAuth, "\x05\x00"s};
  // clang-format off
  return {
      {"Socks5Ipv4NoAuth", ST_Socks5, true, "127.0.0.1", "8080", "", "",
       {greet, {V5Connect("\x01"s + Quad("\x7f\x00\x00\x01") + "\x1f\x90"s), kOkV4Reply}},
       0, "10.0.0.1", "80"},
      {"Socks5NameWithAuthReplyByName", ST_Socks5, true, "www.example.test", "443", "alice", "secret",
       {{kGreetAuth, "\x05\x02"s}, {kAliceSecret, "\x01\x00"s},
        {V5Connect("\x03\x10"s + "www.example.test" + "\x01\xbb"s),
         "\x05\x00\x00\x03\x0a"s + "proxy.test" + "\x04\xd2"s}},
       0, "proxy.test", "1234"},
      {"Socks5Ipv6ReplyIpv6", ST_Socks5, true, "::1", "80", "", "",
       {greet, {V5Connect("\x04"s + std::string(15, '\0') + "\x01\x00\x50"s),
                "\x05\x00\x00\x04\x20\x01\x0d\xb8"s + std::string(11, '\0') + "\x05\x00\x16"s}},
       0, "2001:db8::5", "22"},
      {"Socks5ServiceNamePort", ST_Socks5, true, "10.1.2.3", "http", "", "",
       {greet, {V5Connect("\x01"s + Quad("\x0a\x01\x02\x03") + "\x00\x50"s), kOkV4Reply}},
       0, "10.0.0.1", "80"},
      {"Socks5LocalResolverSendsAddress", ST_Socks5, false, "localhost", "80", "", "",
       {greet, {V5Connect(kV5Loopback80), kOkV4Reply}}, 0, "10.0.0.1", "80"},
      {"Socks5GrantedCodeCountsAsSuccess", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {greet, {V5Connect(kV5Loopback80), "\x05\x5a\x00\x01"s + kV5Empty}}, 0, "0.0.0.0", "0"},
      {"Socks5MethodRefusedSendsNoRequest", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {{kGreetNoAuth, "\x05\xff"s}}, WSASYSNOTREADY, "", ""},
      {"Socks5UnofferedMethodRefused", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {{kGreetNoAuth, "\x05\x01"s}}, WSASYSNOTREADY, "", ""},
      {"Socks5WrongVersionInGreetingReply", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {{kGreetNoAuth, "\x04\x00"s}}, WSASYSNOTREADY, "", ""},
      {"Socks5AuthenticationFails", ST_Socks5, true, "127.0.0.1", "80", "alice", "secret",
       {{kGreetAuth, "\x05\x02"s}, {kAliceSecret, "\x01\x01"s}}, WSASYSNOTREADY, "", ""},
      {"Socks5PasswordTooLongIsNotSent", ST_Socks5, true, "127.0.0.1", "80", "alice", longName,
       {{kGreetAuth, "\x05\x02"s}}, WSASYSNOTREADY, "", ""},
      {"Socks5NameTooLongIsNotSent", ST_Socks5, true, longName, "80", "", "",
       {greet}, WSASYSNOTREADY, "", ""},
      {"Socks5RequestRefused", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {greet, {V5Connect(kV5Loopback80), "\x05\x05\x00\x01"s + kV5Empty}}, WSASYSNOTREADY, "", ""},
      {"Socks5UnknownAddressType", ST_Socks5, true, "127.0.0.1", "80", "", "",
       {greet, {V5Connect(kV5Loopback80), "\x05\x00\x00\x07"s + kV5Empty}}, WSASYSNOTREADY, "", ""},
      {"Socks4Granted", ST_Socks4, true, "127.0.0.1", "8080", "bob", "",
       {{V4Connect("\x1f\x90"s + Quad("\x7f\x00\x00\x01") + "bob" + '\0'),
         "\x00\x5a\x00\x50"s + Quad("\x0a\x00\x00\x02")}},
       0, "10.0.0.2", "80"},
      {"Socks4ZeroCodeAlsoSucceeds", ST_Socks4, true, "127.0.0.1", "80", "", "",
       {{V4Connect(kV4Loopback80 + '\0'), "\x00\x00\x00\x00"s + Quad("\x00\x00\x00\x00")}},
       0, "0.0.0.0", "0"},
      {"Socks4Rejected", ST_Socks4, true, "127.0.0.1", "80", "", "",
       {{V4Connect(kV4Loopback80 + '\0'), "\x00\x5b\x00\x00"s + Quad("\x00\x00\x00\x00")}},
       WSASYSNOTREADY, "", ""},
      {"Socks4WrongReplyVersion", ST_Socks4, true, "127.0.0.1", "80", "", "",
       {{V4Connect(kV4Loopback80 + '\0'), "\x04\x5a\x00\x00"s + Quad("\x00\x00\x00\x00")}},
       WSASYSNOTREADY, "", ""},
      {"Socks4aNameAfterUserId", ST_Socks4, true, "www.example.test", "80", "bob", "",
       {{V4Connect("\x00\x50"s + Quad("\x00\x00\x00\x01") + "bob" + '\0' + "www.example.test" + '\0'),
         kV4GrantedEmpty}},
       0, "0.0.0.0", "0"},
      {"Socks4aCarriesIpv6Text", ST_Socks4, true, "::1", "80", "", "",
       {{V4Connect("\x00\x50"s + Quad("\x00\x00\x00\x01") + '\0' + "::1" + '\0'), kV4GrantedEmpty}},
       0, "0.0.0.0", "0"},
      {"Socks5UnresolvableNameIsNotSent", ST_Socks5, false, "a..b", "80", "", "",
       {greet}, WSAHOST_NOT_FOUND, "", ""},
      {"Socks4UnresolvableNameIsNotSent", ST_Socks4, false, "a..b", "80", "", "",
       {}, WSAHOST_NOT_FOUND, "", ""},
      {"Socks4LocalResolverSendsAddress", ST_Socks4, false, "localhost", "80", "", "",
       {{V4Connect(kV4Loopback80 + '\0'), kV4GrantedEmpty}}, 0, "0.0.0.0", "0"},
  };
  // clang-format on
}

class SocksConnectTest : public ::testing::TestWithParam<SocksCase> {};

TEST_P(SocksConnectTest, SendsExactBytesAndJudgesTheReply) {
  const SocksCase& c = GetParam();
  ScriptedServer proxy;
  std::string expected;
  for (const Step& step : c.steps) {
    proxy.ReadBytes(step.expect.size()).Send(step.reply);
    expected += step.expect;
  }
  // Whatever follows the successful reply is the target's data.
  if (c.error == 0) proxy.Send("target says hi\r\n");
  proxy.ReadAll();
  proxy.Start();

  TTCPBlockSocket socket;
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = std::to_string(proxy.port());
  socket.SocksType = c.type;
  socket.SocksResolver = c.resolver;
  socket.SocksUsername = c.user;
  socket.SocksPassword = c.pass;
  socket.SocksTimeout = 2000;
  socket.ConnectTo(c.host, c.port);

  EXPECT_EQ(socket.LastErrorCode, c.error) << socket.LastErrorText;
  if (c.error == 0) {
    EXPECT_TRUE(socket.ViaSocks);
    EXPECT_EQ(socket.ReplyAddress, c.replyAddress);
    EXPECT_EQ(socket.ReplyPort, c.replyPort);
    EXPECT_EQ(socket.ReceiveLine(2000), "target says hi");
  } else {
    EXPECT_EQ(socket.LastErrorText, TBlockSocket::GetErrorDesc(c.error));
  }
  socket.CloseConnection();
  EXPECT_TRUE(proxy.WaitDone(kDoneMs));
  EXPECT_EQ(proxy.Received(), expected);
}

INSTANTIATE_TEST_SUITE_P(Replies, SocksConnectTest, ::testing::ValuesIn(SocksCases()),
                         CaseName<SocksCase>);

TEST(SocksConnect, AddressQueriesAnswerForTheProxiedConnection) {
  ScriptedServer proxy;
  proxy.ReadBytes(3).Send("\x05\x00"s).ReadBytes(4 + 1 + 11 + 2);
  proxy.Send("\x05\x00\x00\x01"s + Quad("\x0a\x09\x08\x07") + "\x30\x39"s).ReadAll();
  proxy.Start();

  TTCPBlockSocket socket;
  std::vector<std::string> connects;
  socket.OnStatus = [&](TBlockSocket*, THookSocketReason reason, const std::string& value) {
    if (reason == HR_Connect) connects.push_back(value);
  };
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = std::to_string(proxy.port());
  socket.ConnectTo("target.test", "https");
  ASSERT_EQ(socket.LastErrorCode, 0) << socket.LastErrorText;

  EXPECT_EQ(socket.RemoteAddressText(), "target.test");
  EXPECT_EQ(socket.RemotePortNumber(), 443);
  EXPECT_EQ(socket.LocalAddressText(), "10.9.8.7");
  EXPECT_EQ(socket.LocalPortNumber(), 12345);
  const std::vector<std::string> expected = {"127.0.0.1:" + socket.SocksPort, "target.test:https"};
  EXPECT_EQ(connects, expected);
  socket.CloseConnection();
  EXPECT_TRUE(proxy.WaitDone(kDoneMs));
}

struct StalledCase {
  const char* name;
  std::string partialReply;  // sent after the request was read
  bool close;                // then close, or stay silent
  int error;
};

class SocksStalledTest : public ::testing::TestWithParam<StalledCase> {};

TEST_P(SocksStalledTest, SilenceTimesOutAndCloseResets) {
  const StalledCase& c = GetParam();
  ScriptedServer proxy;
  proxy.ReadBytes(3).Send("\x05\x00"s).ReadBytes(10);
  if (!c.partialReply.empty()) proxy.Send(c.partialReply);
  if (c.close) {
    proxy.Close();
  } else {
    proxy.Silence(1000);
  }
  proxy.Start();

  TTCPBlockSocket socket;
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = std::to_string(proxy.port());
  socket.SocksTimeout = 300;
  socket.ConnectTo("127.0.0.1", "80");
  EXPECT_EQ(socket.LastErrorCode, c.error) << socket.LastErrorText;
  socket.CloseConnection();
  EXPECT_TRUE(proxy.WaitDone(kDoneMs));
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, SocksStalledTest,
    ::testing::Values(StalledCase{"SilentBeforeReply", "", false, WSAETIMEDOUT},
                      StalledCase{"SilentInsideName", "\x05\x00\x00\x03\x08prox"s, false,
                                  WSAETIMEDOUT},
                      StalledCase{"ClosesBeforeReply", "", true, WSAECONNRESET},
                      StalledCase{"ClosesInsidePort", "\x05\x00\x00\x01\x01\x02\x03\x04\x00"s, true,
                                  WSAECONNRESET}),
    CaseName<StalledCase>);

// --- Reply parsing --------------------------------------------------------------

struct ParseCase {
  const char* name;
  TSocksType type;
  std::string reply;
  std::int32_t next;
  std::string address, port;
};

class SocksParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(SocksParseTest, TakesAddressAndPortOrNothing) {
  const ParseCase& c = GetParam();
  TSocksBlockSocket socket;
  socket.SocksType = c.type;
  socket.ReplyAddress = "stale";
  EXPECT_EQ(socket.SocksParseReply(c.reply), c.next);
  EXPECT_EQ(socket.ReplyAddress, c.address);
  EXPECT_EQ(socket.ReplyPort, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SocksParseTest,
    ::testing::Values(
        ParseCase{"V4", ST_Socks4, "\x00\x5a\xff\xff\xc0\xa8\x00\xfe"s, 9, "192.168.0.254",
                  "65535"},
        ParseCase{"V4Short", ST_Socks4, "\x00\x5a\xff\xff\xc0\xa8\x00"s, 1, "", "0"},
        ParseCase{"V5Ipv4WithTrailer", ST_Socks5, "\x05\x00\x00\x01\x01\x02\x03\x04\x00\x15xyz"s,
                  11, "1.2.3.4", "21"},
        ParseCase{"V5Ipv4Short", ST_Socks5, "\x05\x00\x00\x01\x01\x02\x03\x04\x00"s, 1, "", "0"},
        ParseCase{"V5Name", ST_Socks5, "\x05\x00\x00\x03\x02hi\x00\x07"s, 10, "hi", "7"},
        ParseCase{"V5NameShort", ST_Socks5, "\x05\x00\x00\x03\x02hi\x00"s, 1, "", "0"},
        ParseCase{"V5EmptyName", ST_Socks5, "\x05\x00\x00\x03\x00\x01\x00"s, 8, "", "256"},
        ParseCase{"V5Ipv6", ST_Socks5,
                  "\x05\x00\x00\x04"s + std::string(15, '\0') + "\x01\x00\x50"s, 23, "::1", "80"},
        ParseCase{"V5Ipv6Short", ST_Socks5, "\x05\x00\x00\x04"s + std::string(17, '\0'), 1, "",
                  "0"},
        ParseCase{"V5UnknownType", ST_Socks5, "\x05\x00\x00\x09\x01\x02\x03\x04\x00\x15"s, 1, "",
                  "0"},
        ParseCase{"V5HeaderOnly", ST_Socks5, "\x05\x00\x00"s, 1, "", "0"}),
    CaseName<ParseCase>);

// --- HTTP CONNECT ------------------------------------------------------------------

struct TunnelCase {
  const char* name;
  std::string host, port, user, pass;
  std::string request;  // exact bytes expected
  int sends;            // send calls the request takes
  std::string reply;
  int error;
  std::string leftOver;  // what must remain buffered after the reply head
  std::string remoteIp;
  int remotePort;
};

std::vector<TunnelCase> TunnelCases() {
  const std::string plain = "CONNECT 127.0.0.1:443 HTTP/1.0\r\n\r\n";
  return {
      {"OkWithHeaders", "127.0.0.1", "443", "", "", plain, 2,
       "HTTP/1.0 200 Connection established\r\nProxy-agent: x\r\n\r\n", 0, "", "127.0.0.1", 443},
      {"BasicAuthorizationInThirdSend", "target.test", "8443", "alice", "secret",
       "CONNECT target.test:8443 HTTP/1.0\r\nProxy-Authorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n",
       3, "HTTP/1.1 200 OK\r\n\r\n", 0, "", "target.test", 8443},
      {"Ipv6TargetBracketed", "::1", "443", "", "", "CONNECT [::1]:443 HTTP/1.0\r\n\r\n", 2,
       "HTTP/1.0 200 OK\r\n\r\n", 0, "", "[::1]", 443},
      {"ServiceNameSentAsNumber", "127.0.0.1", "https", "", "", plain, 2, "HTTP/1.0 200 OK\r\n\r\n",
       0, "", "127.0.0.1", 443},
      {"AnyTwoHundredOpens", "127.0.0.1", "443", "", "", plain, 2, "HTTP/1.1 204 Fine\r\n\r\n", 0,
       "", "127.0.0.1", 443},
      {"BareLineFeeds", "127.0.0.1", "443", "", "", plain, 2, "HTTP/1.0 200 OK\nVia: p\n\n", 0, "",
       "127.0.0.1", 443},
      {"TargetBytesAfterHeadStayBuffered", "127.0.0.1", "443", "", "", plain, 2,
       "HTTP/1.0 200 OK\r\n\r\n\x16\x03\x01 early"s, 0, "\x16\x03\x01 early"s, "127.0.0.1", 443},
      {"AuthenticationRequired", "127.0.0.1", "443", "", "", plain, 2,
       "HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
       WSASYSNOTREADY, "", "127.0.0.1", 443},
      {"Forbidden", "127.0.0.1", "443", "", "", plain, 2, "HTTP/1.0 403 Access violation\r\n\r\n",
       WSASYSNOTREADY, "", "127.0.0.1", 443},
      {"NoStatusLine", "127.0.0.1", "443", "", "", plain, 2, "Via: p\r\n\r\n", WSASYSNOTREADY, "",
       "127.0.0.1", 443},
      {"StatusLineTooShort", "127.0.0.1", "443", "", "", plain, 2, "HTTP/1.0 2\r\n\r\n",
       WSASYSNOTREADY, "", "127.0.0.1", 443},
  };
}

class TunnelConnectTest : public ::testing::TestWithParam<TunnelCase> {};

TEST_P(TunnelConnectTest, SendsExactRequestAndJudgesStatusLine) {
  const TunnelCase& c = GetParam();
  ScriptedServer proxy;
  proxy.ReadBytes(c.request.size()).Send(c.reply).ReadAll();
  proxy.Start();

  TTCPBlockSocket socket;
  socket.ConvertLineEnd = true;  // as the HTTP client runs it
  int sends = 0;
  socket.OnStatus = [&](TBlockSocket*, THookSocketReason reason, const std::string&) {
    if (reason == HR_WriteCount) ++sends;
  };
  socket.HTTPTunnelIP = "127.0.0.1";
  socket.HTTPTunnelPort = std::to_string(proxy.port());
  socket.HTTPTunnelUser = c.user;
  socket.HTTPTunnelPass = c.pass;
  socket.HTTPTunnelTimeout = 2000;
  socket.ConnectTo(c.host, c.port);

  EXPECT_EQ(socket.LastErrorCode, c.error) << socket.LastErrorText;
  EXPECT_EQ(socket.TunnelEstablished, c.error == 0);
  EXPECT_EQ(sends, c.sends);
  EXPECT_EQ(socket.ReadAhead, c.leftOver);
  EXPECT_EQ(socket.TunnelRemoteIP, c.remoteIp);
  if (c.error == 0) {
    EXPECT_EQ(socket.RemoteAddressText(), c.remoteIp);
    EXPECT_EQ(socket.RemotePortNumber(), c.remotePort);
  }
  socket.CloseConnection();
  EXPECT_TRUE(proxy.WaitDone(kDoneMs));
  EXPECT_EQ(proxy.Received(), c.request);
}

INSTANTIATE_TEST_SUITE_P(Replies, TunnelConnectTest, ::testing::ValuesIn(TunnelCases()),
                         CaseName<TunnelCase>);

TEST(TunnelConnect, HeadCutShortBySilenceOrCloseOpensNothing) {
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "closing" : "silent");
    ScriptedServer proxy;
    proxy.ReadUntil("\r\n\r\n").Send("HTTP/1.0 200 OK\r\n");
    if (close) {
      proxy.Close();
    } else {
      proxy.Silence(1000);
    }
    proxy.Start();

    TTCPBlockSocket socket;
    socket.HTTPTunnelIP = "127.0.0.1";
    socket.HTTPTunnelPort = std::to_string(proxy.port());
    socket.HTTPTunnelTimeout = 300;
    socket.ConnectTo("127.0.0.1", "443");
    EXPECT_EQ(socket.LastErrorCode, close ? WSAECONNRESET : WSAETIMEDOUT);
    EXPECT_FALSE(socket.TunnelEstablished);
    socket.CloseConnection();
    EXPECT_TRUE(proxy.WaitDone(kDoneMs));
  }
}

TEST(TunnelConnect, ReplyHeadIsReadWithinItsBounds) {
  const std::string status = "HTTP/1.0 200 OK\r\n";
  const auto lines = [](int count, std::size_t length) {
    std::string head;
    for (int i = 0; i < count; ++i) head += "X-Pad: " + std::string(length, 'p') + "\r\n";
    return head;
  };
  struct Case {
    const char* name;
    std::string head;       // after the status line
    std::size_t endless;    // bytes of one line without end that follow it
    std::int32_t ownLimit;  // the owner's MaxLineLength, given back afterwards
    int error;
  };
  const Case cases[] = {
      {"long lines within the bounds", lines(8, 4000) + "\r\n", 0, 0, 0},
      {"one line without end", "Via: ", 256 << 10, 0, WSAENOBUFS},
      {"one line without end, owner's limit kept", "Via: ", 256 << 10, 100000, WSAENOBUFS},
      {"too many lines", lines(100, 1000) + "\r\n", 0, 0, WSAENOBUFS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedServer proxy;
    proxy.ReadUntil("\r\n\r\n").Send(status + c.head);
    if (c.endless != 0) proxy.SendLarge(c.endless);
    proxy.Silence(1000);
    proxy.Start();

    TTCPBlockSocket socket;
    socket.MaxLineLength = c.ownLimit;
    socket.HTTPTunnelIP = "127.0.0.1";
    socket.HTTPTunnelPort = std::to_string(proxy.port());
    socket.HTTPTunnelTimeout = 3000;
    const long ms = ElapsedMs([&] { socket.ConnectTo("127.0.0.1", "443"); });
    EXPECT_EQ(socket.LastErrorCode, c.error) << socket.LastErrorText;
    EXPECT_EQ(socket.TunnelEstablished, c.error == 0);
    EXPECT_EQ(socket.MaxLineLength, c.ownLimit);
    // Refused on sight, not after the time-out, and without gathering all.
    EXPECT_LT(ms, 1500);
    EXPECT_LT(socket.ReadAhead.size(), std::size_t{2 * kMaxPendingBytes});
    socket.CloseConnection();
  }
}

TEST(ProxyConnect, UnreachableProxyGivesTheConnectError) {
  const std::string port = std::to_string(UnusedLoopbackPort());
  for (const bool socks : {true, false}) {
    SCOPED_TRACE(socks ? "SOCKS" : "CONNECT");
    TTCPBlockSocket socket;
    (socks ? socket.SocksIP : socket.HTTPTunnelIP) = "127.0.0.1";
    (socks ? socket.SocksPort : socket.HTTPTunnelPort) = port;
    socket.ConnectTo("127.0.0.1", "443");
    EXPECT_EQ(socket.LastErrorCode, WSAECONNREFUSED);
    EXPECT_FALSE(socket.ViaSocks || socket.TunnelEstablished);
  }
}

// --- Listening ---------------------------------------------------------------------

TEST(ListenForPeer, PlainListeningAcceptsConnections) {
  TTCPBlockSocket listener;
  listener.BindTo("127.0.0.1", "0");
  ASSERT_EQ(listener.LastErrorCode, 0) << listener.LastErrorText;
  listener.ListenForPeer();
  ASSERT_EQ(listener.LastErrorCode, 0) << listener.LastErrorText;
  ASSERT_GT(listener.LocalPortNumber(), 0);

  TTCPBlockSocket client;
  client.ConnectTo("127.0.0.1", std::to_string(listener.LocalPortNumber()));
  EXPECT_EQ(client.LastErrorCode, 0) << client.LastErrorText;
}

struct BindCase {
  const char* name;
  std::string reply;
  int error;
  std::string address;  // proxied local address ("" = the proxy's own)
  int port;
};

class SocksListenTest : public ::testing::TestWithParam<BindCase> {};

TEST_P(SocksListenTest, BindRequestCarriesTheLocalEnd) {
  const BindCase& c = GetParam();
  ScriptedServer proxy;
  proxy.ReadBytes(3).Send("\x05\x00"s).ReadBytes(10).Send(c.reply).ReadAll();
  proxy.Start();

  TTCPBlockSocket socket;
  socket.BindTo("127.0.0.1", "0");
  ASSERT_EQ(socket.LastErrorCode, 0) << socket.LastErrorText;
  const auto localPort = static_cast<std::uint16_t>(socket.LocalPortNumber());
  socket.SocksIP = "127.0.0.1";
  socket.SocksPort = std::to_string(proxy.port());
  socket.SocksTimeout = 2000;
  bool listened = false;
  socket.OnStatus = [&](TBlockSocket*, THookSocketReason reason, const std::string&) {
    listened = listened || reason == HR_Listen;
  };
  socket.ListenForPeer();

  EXPECT_EQ(socket.LastErrorCode, c.error) << socket.LastErrorText;
  EXPECT_TRUE(listened);
  if (c.error == 0) {
    EXPECT_EQ(socket.LocalAddressText(), c.address.empty() ? socket.SocksIP : c.address);
    EXPECT_EQ(socket.LocalPortNumber(), c.port);
    EXPECT_EQ(socket.ProxiedRemoteAddress, "");
  }
  socket.CloseConnection();
  EXPECT_TRUE(proxy.WaitDone(kDoneMs));
  const std::string request = "\x05\x02\x00\x01"s + Quad("\x7f\x00\x00\x01") +
                              static_cast<char>(localPort >> 8) + static_cast<char>(localPort);
  EXPECT_EQ(proxy.Received(), "\x05\x01\x00"s + request);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SocksListenTest,
    ::testing::Values(BindCase{"AllInterfacesMeansTheProxy",
                               "\x05\x00\x00\x01"s + Quad("\x00\x00\x00\x00") + "\x1f\x90"s, 0, "",
                               8080},
                      BindCase{"ReportedAddress",
                               "\x05\x00\x00\x01"s + Quad("\x0a\x00\x00\x09") + "\x00\x15"s, 0,
                               "10.0.0.9", 21},
                      BindCase{"CommandNotSupported",
                               "\x05\x07\x00\x01"s + Quad("\x00\x00\x00\x00") + "\x00\x00"s,
                               WSANO_RECOVERY, "", 0}),
    CaseName<BindCase>);

}  // namespace
}  // namespace movrek::test
