// The blocking socket against a scripted loopback peer: status events,
// failures and their texts, the stop flag, the bandwidth limiter, options and
// the TLS hook without a TLS library.
#include "net/socket/block_socket.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>

#include "net/base/winsock_errors.h"
#include "net/socket/custom_ssl.h"
#include "net/socket/socket_exception.h"
#include "net/socket/tcp_block_socket.h"
#include "tests/helpers/scripted_server.h"
#include "tests/net/socket/socket_test_support.h"

namespace movrek::test {
namespace {

struct FamilyCase {
  const char* host;
  const char* created;
};
void PrintTo(const FamilyCase& c, std::ostream* os) {
  *os << c.host;
}

class StatusSequence : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(StatusSequence, ConnectSendReceiveCloseReportEachStepWithItsValue) {
  ScriptedServer server(GetParam().host);
  // The pause makes the client wait for the reply, so the wait is reported.
  server.ReadBytes(5).Pause(300).Send("pong\r\n").ReadAll();
  server.Start();
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  const std::string target = std::string(GetParam().host) + ":" + std::to_string(server.port());

  Connect(socket, server.port(), GetParam().host);
  EXPECT_EQ(socket.SendText("ping\n"), 5);
  EXPECT_EQ(socket.ReceiveLine(2000), "pong");
  socket.CloseConnection();

  const std::vector<Event> expected = {
      {HR_ResolvingBegin, target}, {HR_ResolvingEnd, target}, {HR_SocketCreate, GetParam().created},
      {HR_Connect, target},        {HR_WriteCount, "5"},      {HR_CanRead, ""},
      {HR_ReadCount, "6"},         {HR_SocketClose, ""},
  };
  EXPECT_EQ(log.events, expected);
  EXPECT_EQ(socket.BytesSent, 5);
  EXPECT_EQ(socket.BytesReceived, 6);
  EXPECT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(), "ping\n");
}

INSTANTIATE_TEST_SUITE_P(Families, StatusSequence,
                         ::testing::Values(FamilyCase{"127.0.0.1", "IPv4"},
                                           FamilyCase{"::1", "IPv6"}));

TEST(BlockSocket, RefusedConnectReports10061BeforeTheConnectEvent) {
  const std::string port = std::to_string(UnusedLoopbackPort());
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  socket.ConnectTo("127.0.0.1", port);
  EXPECT_EQ(socket.LastErrorCode, WSAECONNREFUSED);
  EXPECT_EQ(socket.LastErrorText, "Connection refused");
  const std::vector<Event> tail = {{HR_Error, "10061,Connection refused"},
                                   {HR_Connect, "127.0.0.1:" + port}};
  ASSERT_GE(log.events.size(), 2u);
  EXPECT_EQ(std::vector<Event>(log.events.end() - 2, log.events.end()), tail);
  // A failed connect leaves the handle for the owner to close.
  EXPECT_NE(socket.Handle, INVALID_SOCKET);
}

TEST(BlockSocket, RaiseExceptTurnsAFailureIntoESocketError) {
  TTCPBlockSocket socket;
  socket.RaiseExcept = true;
  try {
    socket.ConnectTo("127.0.0.1", std::to_string(UnusedLoopbackPort()));
    FAIL() << "no exception";
  } catch (const ESocketError& e) {
    EXPECT_EQ(e.ErrorCode, WSAECONNREFUSED);
    EXPECT_EQ(e.ErrorMessage, "Connection refused");
    EXPECT_STREQ(e.what(), "TCP/IP Socket error 10061: Connection refused");
  }
}

TEST(BlockSocket, ErrorDescriptions) {
  EXPECT_EQ(TBlockSocket::GetErrorDesc(0), "");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(12345), "Other Winsock error (12345)");
  EXPECT_EQ(TBlockSocket::GetErrorDesc(10054), "Connection reset by peer");
}

TEST(BlockSocket, EveryCloseReportsAndTheEmptyBindDoesNothing) {
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  socket.BindTo("0.0.0.0", "0");
  EXPECT_TRUE(log.events.empty());
  EXPECT_EQ(socket.Handle, INVALID_SOCKET);
  socket.CloseConnection();
  socket.DropHandle();
  EXPECT_EQ(log.events, (std::vector<Event>{{HR_SocketClose, ""}, {HR_SocketClose, ""}}));
}

TEST(BlockSocket, ReceivingWithoutAHandleFailsAtOnce) {
  TTCPBlockSocket socket;
  std::string line = "x";
  const long ms = ElapsedMs([&] { line = socket.ReceiveLine(2000); });
  EXPECT_EQ(line, "");
  EXPECT_EQ(socket.LastErrorCode, WSAENOTSOCK);
  EXPECT_LT(ms, 1000);
}

TEST(BlockSocket, BindReportsAndReadsTheLocalAddress) {
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  socket.BindTo("127.0.0.1", "0");
  EXPECT_EQ(socket.LastErrorCode, 0);
  EXPECT_TRUE(socket.IsBound);
  EXPECT_EQ(socket.LocalAddressText(), "127.0.0.1");
  EXPECT_GT(socket.LocalPortNumber(), 0);
  EXPECT_EQ(log.events.back(), (Event{HR_Bind, "127.0.0.1:0"}));
}

TEST(BlockSocket, QueuedOptionsApplyOnCreationAndCloseRestoresFamily) {
  ScriptedServer server;
  server.ReadAll();
  server.Start();
  TTCPBlockSocket socket;
  socket.ChangeFamily(SF_IP4);
  socket.SetLinger(true, 2000);
  socket.SetNonBlockMode(false);
  ASSERT_EQ(socket.QueuedOptions.size(), 2u);
  EXPECT_EQ(socket.QueuedOptions.front().Kind, SOT_NonBlock);  // newest first
  bool created = false;
  socket.OnCreateSocket = [&](TBlockSocket* s) {
    created = true;
    EXPECT_TRUE(s->QueuedOptions.empty());
  };
  Connect(socket, server.port());
  ASSERT_EQ(socket.LastErrorCode, 0);
  EXPECT_TRUE(created);
  socket.Family = SF_IP6;
  socket.CloseConnection();
  EXPECT_EQ(socket.Family, SF_IP4);
}

TEST(BlockSocket, StartTlsWithoutTlsLibraryFailsWith10091AndThePluginText) {
  ScriptedServer server;
  server.ReadAll();
  server.Start();
  EventLog log;
  TTCPBlockSocket socket(&TSSLNone::CreateForSocket);
  log.Attach(socket);
  Connect(socket, server.port());
  ASSERT_EQ(socket.LastErrorCode, 0);
  socket.StartTls();
  EXPECT_EQ(socket.LastErrorCode, WSASYSNOTREADY);
  EXPECT_EQ(socket.LastErrorText, "SSL/TLS support is not compiled!");
  EXPECT_EQ(log.events.back(), (Event{HR_Error, "10091,SSL/TLS support is not compiled!"}));
  EXPECT_EQ(socket.TlsPlugin->LibraryNameText(), "ssl_none");
  EXPECT_FALSE(socket.TlsPlugin->TlsActive);
}

// --- Stop flag -----------------------------------------------------------------

TEST(StopFlag, PendingStopMakesTheNextSendReturnZeroWith10053) {
  ScriptedServer server;
  server.ReadAll();
  server.Start();
  TTCPBlockSocket socket;
  socket.StopFlag = true;  // before the handle exists: forgotten at creation
  Connect(socket, server.port());
  EXPECT_FALSE(socket.StopFlag);
  socket.StopFlag = true;
  EXPECT_EQ(socket.SendText("abc"), 0);
  EXPECT_EQ(socket.LastErrorCode, WSAECONNABORTED);
  EXPECT_EQ(socket.LastErrorText, "Software caused connection abort");
  EXPECT_FALSE(socket.StopFlag);
  EXPECT_EQ(socket.SendText("abc"), 3);
}

struct StopCase {
  std::int32_t heartbeat;
  long maxMs;  // the stop must take effect within this
};
void PrintTo(const StopCase& c, std::ostream* os) {
  *os << "heartbeat " << c.heartbeat;
}

class StopDuringReceive : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuringReceive, StopFromAnotherThreadEndsTheWaitWith10053) {
  ScriptedServer server;
  server.Send("partial").Silence(5000);
  server.Start();
  TTCPBlockSocket socket;
  socket.HeartbeatRate = GetParam().heartbeat;
  int beats = 0;
  socket.OnHeartbeat = [&](TBlockSocket*) { ++beats; };
  Connect(socket, server.port());
  std::thread stopper([&socket] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    socket.StopFlag = true;
  });
  std::string line;
  // A time-out far beyond the silence: only the stop can end the wait in time.
  const long ms = ElapsedMs([&] { line = socket.ReceiveLine(60000); });
  stopper.join();
  EXPECT_EQ(line, "");
  EXPECT_EQ(socket.LastErrorCode, WSAECONNABORTED);
  EXPECT_FALSE(socket.StopFlag);
  EXPECT_LT(ms, GetParam().maxMs);
  EXPECT_EQ(socket.ReadAhead, "partial");
  if (GetParam().heartbeat != 0) {
    EXPECT_GT(beats, 0);
  }
}

// With or without heartbeat periods, a running wait sees the stop within a
// fraction of a second.
INSTANTIATE_TEST_SUITE_P(Heartbeat, StopDuringReceive,
                         ::testing::Values(StopCase{0, 1000}, StopCase{50, 1000}));

// --- Bandwidth limiter -------------------------------------------------------------

TEST(Limiter, ReceiveWaitsForTheSlotBookedByTheRequestedSize) {
  ScriptedServer server;
  server.Send("0123456789").Pause(100).Send("abcdefghij").Silence(3000);
  server.Start();
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  Connect(socket, server.port());
  ASSERT_TRUE(socket.WaitReadable(2000));
  socket.MaxRecvBandwidth = 1000;
  char buffer[500];
  EXPECT_EQ(socket.ReceiveSome(buffer, 500), 10);  // asks 500: the next slot is 500 ms on
  std::int32_t second = 0;
  const long ms = ElapsedMs([&] { second = socket.ReceiveSome(buffer, 500); });
  EXPECT_EQ(second, 10);
  const auto waits = log.Only(HR_Wait);
  ASSERT_EQ(waits.size(), 1u);
  const int announced = std::stoi(waits[0].second);
  EXPECT_GT(announced, 300);
  EXPECT_LE(announced, 500);
  EXPECT_GE(ms, announced - 20);
}

TEST(Limiter, SendIsPacedPieceByPiece) {
  ScriptedServer server;
  server.ReadBytes(3000);
  server.Start();
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  Connect(socket, server.port());
  socket.SendMaxChunk = 1000;
  socket.MaxSendBandwidth = 10000;  // 100 ms per piece
  const long ms = ElapsedMs([&] { EXPECT_EQ(socket.SendText(PatternBytes(3000)), 3000); });
  EXPECT_EQ(log.Only(HR_WriteCount).size(), 3u);
  EXPECT_EQ(log.Only(HR_Wait).size(), 2u);
  EXPECT_GE(ms, 180);
  EXPECT_TRUE(server.WaitDone(5000));
  EXPECT_EQ(server.Received(), PatternBytes(3000));
}

// --- Closing --------------------------------------------------------------------------

TEST(Close, APeerThatKeepsSendingDoesNotHoldTheClose) {
  ScriptedServer server;
  server.SendLarge(std::size_t{256} << 20);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  EXPECT_FALSE(socket.ReceiveChunk(2000).empty());
  const long ms = ElapsedMs([&] { socket.CloseConnection(); });
  EXPECT_EQ(socket.Handle, INVALID_SOCKET);
  EXPECT_LT(ms, 2000);
}

TEST(ReadFilter, ALongerResultIsCutBackToTheReceivedSize) {
  ScriptedServer server;
  server.Send("abc\r\n").ReadAll();
  server.Start();
  TTCPBlockSocket socket;
  socket.OnReadFilter = [](TBlockSocket*, std::string& value) { value = "XY" + value + "more"; };
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveUntil(2000, "b"), "XYa");
  EXPECT_EQ(socket.ReadAhead, "c");
}

}  // namespace
}  // namespace movrek::test
