// The TCP socket's TLS path with a stand-in plug-in that passes bytes through
// unchanged and fails on request, so every branch is reached without OpenSSL.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "net/base/socket_api.h"
#include "net/base/winsock_errors.h"
#include "net/socket/custom_ssl.h"
#include "net/socket/tcp_block_socket.h"
#include "tests/helpers/scripted_server.h"
#include "tests/net/socket/socket_test_support.h"

namespace movrek::test {
namespace {

class PassThroughTls : public TCustomSSL {
 public:
  using TCustomSSL::TCustomSSL;
  static std::unique_ptr<TCustomSSL> Create(TTCPBlockSocket& owner) {
    return std::make_unique<PassThroughTls>(owner);
  }

  bool StartClientTls() override {
    LastErrorCode = failHandshake ? 1 : 0;
    LastErrorText = failHandshake ? "handshake refused" : "";
    TlsActive = !failHandshake;
    return TlsActive;
  }
  bool EndTls() override {
    ++ended;
    TlsActive = false;
    return true;
  }
  std::int32_t TlsSend(const void* buffer, std::int32_t length) override {
    LastErrorCode = 0;
    return SocketSend(Owner().Handle, buffer, length, 0);
  }
  std::int32_t TlsRecv(void* buffer, std::int32_t length) override {
    LastErrorCode = failReceive ? 5 : 0;  // a transfer failure carries no text
    if (failReceive) return -1;
    if (sessionEnded) return 0;  // a clean close of the TLS session
    const int received = SocketRecv(Owner().Handle, buffer, length, 0);
    return received < 0 ? 0 : received;
  }
  std::int32_t TlsPending() override { return 0; }

  bool failHandshake = false;
  bool failReceive = false;
  bool sessionEnded = false;
  int ended = 0;
};

PassThroughTls& Plugin(TTCPBlockSocket& socket) {
  return static_cast<PassThroughTls&>(*socket.TlsPlugin);
}

TEST(TlsHook, DataFlowsThroughThePluginAndCloseEndsTls) {
  ScriptedServer server;
  server.ReadBytes(6).Send("world\r\n").ReadAll();
  server.Start();
  EventLog log;
  TTCPBlockSocket socket(&PassThroughTls::Create);
  log.Attach(socket);
  Connect(socket, server.port());
  socket.StartTls();
  ASSERT_EQ(socket.LastErrorCode, 0);
  EXPECT_EQ(socket.SendText("hello\n"), 6);
  EXPECT_EQ(socket.ReceiveLine(2000), "world");
  EXPECT_EQ(socket.BytesReceived, 7);
  socket.CloseConnection();
  EXPECT_EQ(Plugin(socket).ended, 1);
  EXPECT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(), "hello\n");
  EXPECT_EQ(log.Only(HR_ReadCount), (std::vector<Event>{{HR_ReadCount, "7"}}));
}

struct FailureCase {
  const char* name;
  bool failHandshake;
  bool failReceive;
  bool sessionEnded;
  std::int32_t code;
  const char* text;
};
void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class TlsFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(TlsFailures, MapToSocketErrorsWithAText) {
  const FailureCase& c = GetParam();
  ScriptedServer server;
  server.Send("data").Silence(2000);
  server.Start();
  TTCPBlockSocket socket(&PassThroughTls::Create);
  Plugin(socket).failHandshake = c.failHandshake;
  Plugin(socket).failReceive = c.failReceive;
  Plugin(socket).sessionEnded = c.sessionEnded;
  Connect(socket, server.port());
  socket.StartTls();
  if (!c.failHandshake) {
    ASSERT_EQ(socket.LastErrorCode, 0);
    EXPECT_EQ(socket.ReceiveLine(2000), "");
  }
  EXPECT_EQ(socket.LastErrorCode, c.code);
  EXPECT_EQ(socket.LastErrorText, c.text);
  EXPECT_EQ(socket.BytesReceived, 0);  // a failed call counts nothing
}

INSTANTIATE_TEST_SUITE_P(Cases, TlsFailures,
                         ::testing::Values(FailureCase{"Handshake", true, false, false,
                                                       WSASYSNOTREADY, "handshake refused"},
                                           FailureCase{"Transfer", false, true, false,
                                                       WSASYSNOTREADY,
                                                       "Network subsystem is unusable"},
                                           FailureCase{"SessionEnded", false, false, true,
                                                       WSAECONNRESET, "Connection reset by peer"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(TlsHook, NewSocketsTakeTheProcessWidePluginClass) {
  EXPECT_EQ(TTCPBlockSocket().TlsPlugin->LibraryNameText(), "ssl_none");
  const TTlsPluginFactory previous = TlsPluginClass.exchange(&PassThroughTls::Create);
  TTCPBlockSocket socket;
  TlsPluginClass = previous;
  EXPECT_NE(dynamic_cast<PassThroughTls*>(socket.TlsPlugin.get()), nullptr);
  EXPECT_EQ(&socket.TlsPlugin->Owner(), &socket);
}

}  // namespace
}  // namespace movrek::test
