// What a body costs in memory, on every framing: at most 1.25 times the body
// plus 64 MiB at the peak, and a body beyond 2 GiB - 1 bytes ends the
// request instead of growing.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

#include "net/base/winsock_errors.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using test::ScriptedServer;

// A sanitizer's allocator keeps freed memory back and adds shadow memory:
// the figures mean nothing there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr size_t kMiB = size_t{1} << 20;
// Past the point where growing by a copy would hold the body twice.
constexpr size_t kBody = 140 * kMiB;

size_t PeakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

std::string Hex(size_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "%zx", n);
  return text;
}

struct BodyCase {
  const char* name;
  std::function<void(ScriptedServer&)> script;
};

class HttpBodyMemory : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HttpBodyMemory, PeakStaysNearTheBodyOnEveryFraming) {
  if (kSanitized) GTEST_SKIP() << "peak memory is not measurable under a sanitizer";
  ScriptedServer server;
  GetParam().script(server.ReadRequest());
  server.Start();
  const size_t before = PeakResidentBytes();
  THttpTransaction http;
  ASSERT_TRUE(http.PerformRequest("GET", server.Url("/")));
  EXPECT_EQ(http.Document.size(), kBody);
  // The process held other things before the request; the body may add
  // 1.25 times itself plus 64 MiB on top.
  EXPECT_LE(PeakResidentBytes(), before + kBody + kBody / 4 + 64 * kMiB)
      << "peak " << PeakResidentBytes() / kMiB << " MiB, before " << before / kMiB << " MiB";
}

INSTANTIATE_TEST_SUITE_P(
    Framings, HttpBodyMemory,
    ::testing::Values(BodyCase{"Counted",
                               [](ScriptedServer& s) {
                                 s.Send("HTTP/1.0 200 OK\r\nContent-Length: " +
                                        std::to_string(kBody) + "\r\n\r\n")
                                     .SendLarge(kBody)
                                     .Close();
                               }},
                      BodyCase{"UntilClose",
                               [](ScriptedServer& s) {
                                 s.Send("HTTP/1.0 200 OK\r\n\r\n").SendLarge(kBody).Close();
                               }},
                      BodyCase{"Chunked",
                               [](ScriptedServer& s) {
                                 s.Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
                                 constexpr size_t kChunk = 4 * kMiB;
                                 for (size_t sent = 0; sent < kBody; sent += kChunk) {
                                   s.Send(Hex(kChunk) + "\r\n").SendLarge(kChunk).Send("\r\n");
                                 }
                                 s.Send("0\r\n\r\n").Close();
                               }}),
    [](const ::testing::TestParamInfo<BodyCase>& p) { return std::string(p.param.name); });

TEST(HttpBodyLimit, ChunksBeyondTheCeilingEndTheRequestWithANetworkError) {
  ScriptedServer server;
  // The second chunk would take the body past 2 GiB - 1 bytes.
  server.ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n" +
            Hex(kMaxBodyBytes - 8) + "\r\n")
      .SendLarge(64 * 1024)
      .Silence(2000);
  server.Start();
  THttpTransaction http;
  EXPECT_FALSE(http.PerformRequest("GET", server.Url("/")));
  EXPECT_EQ(http.Sock->LastErrorCode, WSAENOBUFS);
  EXPECT_LE(http.Document.size(), size_t{16});
}

}  // namespace
}  // namespace movrek
