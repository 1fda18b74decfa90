// Line, exact and stream reception against a scripted loopback peer whose
// packets arrive split at chosen places, stall, close or stay silent.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "net/base/winsock_errors.h"
#include "net/socket/tcp_block_socket.h"
#include "tests/helpers/scripted_server.h"
#include "tests/net/socket/socket_test_support.h"

namespace movrek::test {
namespace {

// Long enough for each packet to arrive on its own.
constexpr int kPacketGapMs = 60;

struct LineCase {
  const char* name;
  std::vector<std::string> packets;
  bool convertLineEnd;
  std::string terminator;
  std::vector<std::string> lines;
  std::string leftOver;  // ReadAhead after the last line
};

void PrintTo(const LineCase& c, std::ostream* os) {
  *os << c.name;
}

class LineReception : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineReception, YieldsTheLinesAndKeepsTheRest) {
  const LineCase& c = GetParam();
  ScriptedServer server;
  for (const std::string& packet : c.packets) server.Send(packet).Pause(kPacketGapMs);
  server.Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  socket.ConvertLineEnd = c.convertLineEnd;
  Connect(socket, server.port());
  for (const std::string& expected : c.lines) {
    EXPECT_EQ(socket.ReceiveUntil(3000, c.terminator), expected);
    ASSERT_EQ(socket.LastErrorCode, 0) << socket.LastErrorText;
  }
  EXPECT_EQ(socket.ReadAhead, c.leftOver);
}

const LineCase kLineCases[] = {
    {"CrEndsPacketLfStartsNext", {"one\r", "\ntwo\r\n"}, true, "\r\n", {"one", "two"}, ""},
    {"LfEndsPacketCrStartsNext", {"one\n", "\rtwo\n"}, true, "\r\n", {"one", "two"}, ""},
    {"AllFourLineEnds", {"a\rb\nc\r\nd\n\re\r\n"}, true, "\r\n", {"a", "b", "c", "d", "e"}, ""},
    {"EmptyLinesSurvive", {"a\r\n\r\n", "\nb\r"}, true, "\r\n", {"a", "", "", "b"}, ""},
    {"LoneCrWithoutLineEndMode", {"a\rb\r\nc"}, false, "\r\n", {"a\rb"}, "c"},
    {"CrLfSplitWithoutLineEndMode", {"abc\r", "\ndef\r\n"}, false, "\r\n", {"abc", "def"}, ""},
    {"LfTerminatorKeepsCr", {"x\r\ny\r\nz"}, true, "\n", {"x\r", "y\r"}, "z"},
    {"LongTerminatorAcrossPackets", {"abc<EN", "D>rest"}, false, "<END>", {"abc"}, "rest"},
    {"TerminatorSplitInThree", {"ab<", "EN", "D>c<END>"}, false, "<END>", {"ab", "c"}, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, LineReception, ::testing::ValuesIn(kLineCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(LineReception, ByteByByteDelivery) {
  ScriptedServer server;
  server.SendSplit("hello\r\nworld\n\r!", 1, 3).Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  socket.ConvertLineEnd = true;
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveLine(3000), "hello");
  EXPECT_EQ(socket.ReceiveLine(3000), "world");
  EXPECT_EQ(socket.ReceiveOctet(3000), '!');
}

// Without a handle every wait fails at once, so pieces put into ReadAhead
// between calls arrive exactly like packets: the text is split at every
// offset and must always yield the same lines and the same rest.
TEST(LineReception, SplitAtEveryOffset) {
  const std::string text = "GET / HTTP/1.0\r\nHost: a\nX: 1\n\r\r\nbody";
  const std::vector<std::string> lineEnds = {"GET / HTTP/1.0", "Host: a", "X: 1", ""};
  const std::vector<std::string> crLfOnly = {"GET / HTTP/1.0", "Host: a\nX: 1\n\r"};
  for (const bool convert : {true, false}) {
    for (std::size_t split = 0; split <= text.size(); ++split) {
      SCOPED_TRACE(std::to_string(split) + (convert ? " line-end mode" : ""));
      TTCPBlockSocket socket;
      socket.ConvertLineEnd = convert;
      std::vector<std::string> lines;
      const auto drain = [&] {
        for (std::string line = socket.ReceiveLine(0); socket.LastErrorCode == 0;
             line = socket.ReceiveLine(0)) {
          lines.push_back(line);
        }
        EXPECT_EQ(socket.LastErrorCode, WSAENOTSOCK);
      };
      socket.ReadAhead = text.substr(0, split);
      drain();
      socket.ReadAhead += text.substr(split);
      drain();
      EXPECT_EQ(lines, convert ? lineEnds : crLfOnly);
      EXPECT_EQ(socket.ReadAhead, "body");
    }
  }
}

struct LimitCase {
  const char* data;
  std::int32_t limit;
  std::int32_t error;
  const char* line;
};
void PrintTo(const LimitCase& c, std::ostream* os) {
  *os << c.limit << " " << c.error;
}

class LineLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LineLimit, AppliesToTheLineNotToWhatFollowsIt) {
  ScriptedServer server;
  server.Send(GetParam().data).Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  socket.MaxLineLength = GetParam().limit;
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveLine(500), GetParam().line);
  EXPECT_EQ(socket.LastErrorCode, GetParam().error);
  if (GetParam().error == WSAENOBUFS) {
    EXPECT_EQ(socket.LastErrorText, "No Buffer space available");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LineLimit,
                         ::testing::Values(LimitCase{"0123456789A", 10, WSAENOBUFS, ""},
                                           LimitCase{"0123456789\r\n", 10, 0, "0123456789"},
                                           LimitCase{"0123456789A\r\n", 10, WSAENOBUFS, ""},
                                           LimitCase{"ab\r\n0123456789ABCDEF", 10, 0, "ab"}));

TEST(LineReception, PeerClosingMidLineKeepsThePartInReadAhead) {
  ScriptedServer server;
  server.Send("GET /par").Close();
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveLine(3000), "");
  EXPECT_EQ(socket.LastErrorCode, WSAECONNRESET);
  EXPECT_EQ(socket.LastErrorText, "Connection reset by peer");
  EXPECT_EQ(socket.ReadAhead, "GET /par");
}

TEST(LineReception, PeerResetIs10054) {
  ScriptedServer server;
  server.Send("abc").Pause(50).Reset();
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveLine(3000), "");
  EXPECT_EQ(socket.LastErrorCode, WSAECONNRESET);
}

struct SilenceCase {
  bool interPacketTimeout;
  std::int32_t error;  // expected after the trickle
};
void PrintTo(const SilenceCase& c, std::ostream* os) {
  *os << "InterPacketTimeout " << c.interPacketTimeout;
}

class SilentPeer : public ::testing::TestWithParam<SilenceCase> {};

// The peer sends a byte every 100 ms; a 600 ms time-out is never reached by
// a single wait, but the whole line takes longer than that.
TEST_P(SilentPeer, TimeOutAppliesPerWaitOrToTheWholeOperation) {
  ScriptedServer server;
  server.SendSplit("abcdefgh\r\n", 1, 100).Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  socket.InterPacketTimeout = GetParam().interPacketTimeout;
  Connect(socket, server.port());
  const std::string line = socket.ReceiveLine(600);
  EXPECT_EQ(socket.LastErrorCode, GetParam().error);
  if (GetParam().error == 0) {
    EXPECT_EQ(line, "abcdefgh");
  } else {
    EXPECT_EQ(line, "");
    EXPECT_FALSE(socket.ReadAhead.empty());
    EXPECT_EQ(std::string("abcdefgh").rfind(socket.ReadAhead, 0), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, SilentPeer,
                         ::testing::Values(SilenceCase{true, 0}, SilenceCase{false, WSAETIMEDOUT}));

TEST(SilentPeer, ASilentPeerEndsTheWaitWith10060AfterTheTimeOut) {
  ScriptedServer server;
  server.Send("half a li").Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  std::string line;
  const long ms = ElapsedMs([&] { line = socket.ReceiveLine(300); });
  EXPECT_EQ(line, "");
  EXPECT_EQ(socket.LastErrorCode, WSAETIMEDOUT);
  EXPECT_EQ(socket.LastErrorText, "Connection timed out");
  EXPECT_EQ(socket.ReadAhead, "half a li");
  EXPECT_GE(ms, 280);
  EXPECT_LT(ms, 2000);
}

TEST(ExactReception, SurplusStaysInReadAheadForTheNextCall) {
  ScriptedServer server;
  server.Send("0123456789ABCDE").Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  char buffer[10];
  ASSERT_TRUE(socket.WaitReadable(2000));
  EXPECT_EQ(socket.ReceiveExact(buffer, 10, 2000), 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_EQ(socket.ReadAhead, "ABCDE");
  const std::int32_t before = socket.BytesReceived;
  EXPECT_EQ(socket.ReceiveExactText(5, 2000), "ABCDE");
  EXPECT_EQ(socket.BytesReceived, before);  // served without touching the network
  EXPECT_EQ(socket.ReceiveExactText(0, 2000), "");
  EXPECT_EQ(socket.ReceiveExactText(-3, 2000), "");
  EXPECT_EQ(socket.LastErrorCode, 0);
}

TEST(ExactReception, ATimeOutKeepsThePartialTextForTheNextCall) {
  ScriptedServer server;
  server.Send("0123").Pause(500).Send("4567").Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  EXPECT_EQ(socket.ReceiveExactText(8, 200), "");
  EXPECT_EQ(socket.LastErrorCode, WSAETIMEDOUT);
  EXPECT_EQ(socket.ReceiveExactText(8, 2000), "01234567");
}

TEST(StreamReception, ReceivesAllBlocksAcrossAStall) {
  ScriptedServer server;
  const std::size_t size = kDefaultSendMaxChunkBytes * 5 / 2;
  const std::size_t head = kDefaultSendMaxChunkBytes + 1000;
  server.Send(PatternBytes(head)).Pause(300).Send(PatternBytes(size - head, head)).Silence(3000);
  server.Start();
  EventLog log;
  TTCPBlockSocket socket;
  log.Attach(socket);
  Connect(socket, server.port());
  std::string stream = "prefix";
  socket.ReceiveIntoStream(stream, 2000, static_cast<std::int64_t>(size));
  EXPECT_EQ(socket.LastErrorCode, 0);
  EXPECT_EQ(stream, "prefix" + PatternBytes(size));
  EXPECT_TRUE(socket.ReadAhead.empty());
  for (const Event& e : log.Only(HR_ReadCount)) EXPECT_LE(std::stoi(e.second), kMaxPendingBytes);
}

TEST(StreamReception, ATimeOutOnTheRemainderLeavesExactlyTheFullBlocks) {
  ScriptedServer server;
  const std::size_t size = kDefaultSendMaxChunkBytes * 5 / 2;
  const std::size_t sent = kDefaultSendMaxChunkBytes * 2 + 100;
  server.Send(PatternBytes(sent)).Silence(3000);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  std::string stream;
  socket.ReceiveIntoStream(stream, 300, static_cast<std::int64_t>(size));
  EXPECT_EQ(socket.LastErrorCode, WSAETIMEDOUT);
  EXPECT_EQ(stream, PatternBytes(kDefaultSendMaxChunkBytes * 2));
  EXPECT_EQ(socket.ReadAhead, PatternBytes(100, kDefaultSendMaxChunkBytes * 2));
}

TEST(StreamReception, FramedStreamsRoundTrip) {
  ScriptedServer server;
  server.ReadBytes(4 + 70000 + 4 + 5);
  server.Start();
  TTCPBlockSocket socket;
  Connect(socket, server.port());
  socket.SendStreamSized(PatternBytes(70000));
  socket.SendStreamSizedBigEndian("hello");
  ASSERT_TRUE(server.WaitDone(5000));
  const std::string wire = server.Received();
  EXPECT_EQ(wire.substr(0, 4), std::string("\x70\x11\x01\x00", 4));
  EXPECT_EQ(wire.substr(4, 70000), PatternBytes(70000));
  EXPECT_EQ(wire.substr(70004), std::string("\0\0\0\x05hello", 9));
}

}  // namespace
}  // namespace movrek::test
