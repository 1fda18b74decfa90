// movrek-cli against servers as they are on the open web: far away (a
// latency relay in front of nginx), closing idle connections, refusing with
// 429 or 503 and Retry-After, asking for pauses, dripping bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/helpers/latency_relay.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using movrek::test::CliRun;
using movrek::test::CliRunner;
using movrek::test::Contains;
using movrek::test::HttpResponse;
using movrek::test::ScriptedServer;

const std::string kPage = "<a href=\"/next.html\">n</a>";

// The times at which a scripted server read each request.
class RequestClock {
 public:
  ScriptedServer::Step Mark() {
    return [this](int) {
      std::lock_guard<std::mutex> guard(lock_);
      times_.push_back(Clock::now());
      return true;
    };
  }
  std::vector<Clock::time_point> Times() {
    std::lock_guard<std::mutex> guard(lock_);
    return times_;
  }

 private:
  std::mutex lock_;
  std::vector<Clock::time_point> times_;
};

std::string HttpDateIn(std::chrono::seconds ahead) {
  const std::time_t when = std::time(nullptr) + ahead.count();
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

TEST(MovrekCliNetwork, HttpsPagesOfOneHostShareAsManyConnectionsAsJobs) {
  MOVREK_REQUIRE_PEER("nginx");
  movrek::test::NginxServer nginx;
  nginx.EnableTls();
  // Under /once/ nginx closes each connection after one answer.
  nginx.AddLocation("location /once/ { keepalive_requests 1; }");
  for (int i = 0; i < 50; ++i) {
    nginx.WriteFile("p" + std::to_string(i) + ".html", kPage);
    nginx.WriteFile("once/p" + std::to_string(i) + ".html", kPage);
  }
  ASSERT_TRUE(nginx.Start());
  movrek::test::LatencyRelay far("127.0.0.1", nginx.https_port(), 25);
  std::string list;
  std::string once;
  for (int i = 0; i < 50; ++i) {
    list += far.Url("https", "/p" + std::to_string(i) + ".html") + "\n";
    once += far.Url("https", "/once/p" + std::to_string(i) + ".html") + "\n";
  }
  CliRunner cli;
  const CliRun run = cli.Run({"-k", "--no-delay", "--jobs", "4"}, list);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.err, "OK : https://"), 50) << run.err;
  EXPECT_LE(far.Connections(), 4u);
  EXPECT_EQ(Count(nginx.WaitForAccessLog("/p49.html"), "HTTP/1.1\" 200"), 50);

  const std::size_t kept = far.Connections();
  const CliRun plain = cli.Run({"-k", "--no-delay", "--jobs", "4", "--no-keep-alive"}, list);
  EXPECT_EQ(Count(plain.err, "OK : https://"), 50) << plain.err;
  EXPECT_EQ(far.Connections() - kept, 50u);

  // Each new connection to the host after the first resumes its session.
  const CliRun closing = cli.Run({"-k", "--no-delay", "--jobs", "1"}, once);
  EXPECT_EQ(Count(closing.err, "OK : https://"), 50) << closing.err;
  const std::string log = nginx.WaitForAccessLog("/once/p49.html");
  EXPECT_GE(Count(log, "/once/p"), 50);
  EXPECT_GE(Count(log, "reused=r"), 49) << log;
}

// A connection the server closes between two pages, or under the next
// request before it answers: both pages come through without a retry.
TEST(MovrekCliNetwork, KeptConnectionClosedByTheServerCostsNoPage) {
  struct Case {
    const char* name;
    bool answers_second_on_first;  // the first connection reads the second request
  };
  for (const Case& c :
       {Case{"closed after the answer", false}, Case{"closed under the request", true}}) {
    SCOPED_TRACE(c.name);
    ScriptedServer server;
    server.ReadRequest().Send(HttpResponse("200 OK", kPage));
    if (c.answers_second_on_first) {
      server.ReadRequest();
    }
    server.Close().NextConnection().ReadRequest().Send(HttpResponse("200 OK", kPage)).Close();
    server.Start();
    CliRunner cli;
    // One transfer at a time: the second page is to go over the kept connection.
    const CliRun run =
        cli.Run({"--no-delay", "--jobs", "1"}, server.Url("/a") + "\n" + server.Url("/b") + "\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Count(run.err, "OK : "), 2) << run.err;
    EXPECT_FALSE(Contains(run.err, "retry")) << run.err;
    EXPECT_TRUE(Contains(server.Received(0), "GET /a HTTP/1.1\r\n"));
    EXPECT_TRUE(Contains(server.Received(1), "GET /b HTTP/1.1\r\n"));
  }
}

// Bytes a server sends on a kept connection after its answer (a second
// answer, a 204's late body) are taken for no later page: the connection
// that holds them is closed and the next page goes on a new one.
TEST(MovrekCliNetwork, KeptConnectionWithLateBytesIsNotReused) {
  const std::pair<std::string, std::string> cases[] = {
      {HttpResponse("200 OK", kPage), HttpResponse("200 OK", "<a href=\"/stale.html\">s</a>")},
      {"HTTP/1.1 204 No Content\r\n\r\n", "<a href=\"/stale.html\">s</a>"},
  };
  for (const auto& [answer, late] : cases) {
    SCOPED_TRACE(late);
    ScriptedServer server;
    server.ReadRequest().Send(answer).Pause(50).Send(late).Silence(600);
    server.NextConnection()
        .ReadRequest()
        .Send(HttpResponse("200 OK", "<a href=\"/b.html\">b</a>"))
        .Close();
    server.Start();
    CliRunner cli;
    const CliRun run = cli.Run({"--no-delay", "--delay", "300"},
                               server.Url("/a") + "\n" + server.Url("/b") + "\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, server.Url("/b.html") + "\n")) << run.out;
    EXPECT_FALSE(Contains(run.out, "stale")) << run.out;
    EXPECT_EQ(server.Connections(), 2u);
  }
}

TEST(MovrekCliNetwork, IdleConnectionsClosedByNginxAreReplaced) {
  MOVREK_REQUIRE_PEER("nginx");
  movrek::test::NginxServer nginx;
  nginx.AddLocation("keepalive_timeout 1s;");
  for (int i = 0; i < 3; ++i) nginx.WriteFile("p" + std::to_string(i) + ".html", kPage);
  ASSERT_TRUE(nginx.Start());
  CliRunner cli;
  const CliRun run = cli.Run(
      {"--no-delay", "--delay", "1300"},
      nginx.Url("/p0.html") + "\n" + nginx.Url("/p1.html") + "\n" + nginx.Url("/p2.html") + "\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Count(run.err, "OK : "), 3) << run.err;
  EXPECT_FALSE(Contains(run.err, "retry")) << run.err;
}

// A 429 or 503 with Retry-After holds back every request to its host until
// the time asked for, while the pages of another host go on.
TEST(MovrekCliNetwork, RetryAfterPausesOnlyTheHostThatAskedForIt) {
  // The other host answers each page after a pause, so that the second
  // address of the busy host is asked for only after its first answer has
  // come back: before that answer no client can know of the pause.
  ScriptedServer other;
  other.ReadRequest()
      .Pause(150)
      .Send(HttpResponse("200 OK", kPage, "Connection: close\r\n"))
      .Close()
      .RepeatForever();
  other.Start();
  struct Case {
    std::string status;
    bool as_date;  // Retry-After as an HTTP date 3 s ahead, else "2"
  };
  for (const Case& c :
       {Case{"429 Too Many Requests", false}, Case{"503 Service Unavailable", true}}) {
    SCOPED_TRACE(c.status);
    const std::string retry_after = c.as_date ? HttpDateIn(3s) : "2";
    RequestClock clock;
    ScriptedServer busy;
    busy.ReadRequest()
        .Call(clock.Mark())
        .Send(
            HttpResponse(c.status, "", "Retry-After: " + retry_after + "\r\nConnection: close\r\n"))
        .Close();
    busy.NextConnection()
        .ReadRequest()
        .Call(clock.Mark())
        .Send(HttpResponse("200 OK", kPage, "Connection: close\r\n"))
        .Close()
        .RepeatForever();
    busy.Start();
    std::string list = busy.Url("/first") + "\n";
    for (int i = 0; i < 4; ++i) list += other.Url("/p" + std::to_string(i) + ".html") + "\n";
    list += busy.Url("/second") + "\n";
    CliRunner cli;
    const Clock::time_point started = Clock::now();
    const CliRun run = cli.Run({"--no-delay", "--jobs", "2", "--format", "jsonl"}, list);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "  retry 1 of 2 in ")) << run.err;
    EXPECT_TRUE(Contains(run.err, ": HTTP " + c.status.substr(0, 3) + "\n")) << run.err;
    const std::vector<Clock::time_point> times = clock.Times();
    ASSERT_EQ(times.size(), 3u);
    EXPECT_GE(times[1] - times[0], 1900ms);  // HTTP dates count whole seconds
    EXPECT_GE(times[2] - times[0], 1900ms);
    // The other host's pages were done long before the pause ended.
    // The other host's pages did not wait for the pause.
    std::size_t at = 0;
    for (int line = 0; line < 5; ++line) {
      at = run.out.find("\"elapsed_ms\":", at);
      ASSERT_NE(at, std::string::npos) << run.out;
      at += 13;
      if (line > 0) {
        EXPECT_LT(std::stoi(run.out.substr(at)), 1000) << run.out;
      }
    }
    EXPECT_EQ(Count(run.out, "\"http_status\":200"), 6) << run.out;
    EXPECT_LT(Clock::now() - started, 10s);
  }
}

TEST(MovrekCliNetwork, RetriesEndWithTheAddressTimeAndKeepTheLastAnswer) {
  ScriptedServer down;
  down.ReadRequest()
      .Send(HttpResponse("503 Service Unavailable", "busy", "Retry-After: 1\r\n"))
      .Close()
      .RepeatForever();
  down.Start();
  CliRunner cli;
  const Clock::time_point started = Clock::now();
  const CliRun run =
      cli.Run({"--no-delay", "--retries", "10", "--max-time", "2.5", "--format", "jsonl"},
              down.Url("/") + "\n");
  EXPECT_LT(Clock::now() - started, 5s);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_TRUE(Contains(run.err, "  retry 2 of 10 in 1 s: HTTP 503\n")) << run.err;
  EXPECT_FALSE(Contains(run.err, "retry 3 of 10")) << run.err;
  EXPECT_TRUE(Contains(run.out, "\"http_status\":503")) << run.out;
  // A wait longer than allowed is not waited for at all; a date past the
  // clock's range is a year away.
  const std::pair<const char*, const char*> too_long[] = {
      {"600", "600"}, {"Fri, 31 Dec 9999 23:59:59 GMT", "31536000"}};
  for (const auto& [asked, seconds] : too_long) {
    ScriptedServer later;
    later.ReadRequest()
        .Send(HttpResponse("429 Too Many Requests", "",
                           "Retry-After: " + std::string(asked) + "\r\n"))
        .Close();
    later.Start();
    const CliRun refused = cli.Run({"--no-delay", "--max-retry-wait", "60"}, later.Url("/") + "\n");
    EXPECT_TRUE(Contains(refused.err, "  no retry: the server asks for a wait of " +
                                          std::string(seconds) +
                                          " s, longer than the 60 s allowed\n"))
        << refused.err;
    EXPECT_EQ(later.Connections(), 1u);
  }
}

TEST(MovrekCliNetwork, DelayKeepsRequestsToOneHostApart) {
  RequestClock clock;
  ScriptedServer server;
  server.ReadRequest()
      .Call(clock.Mark())
      .Send(HttpResponse("200 OK", kPage, "Connection: close\r\n"))
      .Close()
      .RepeatForever();
  server.Start();
  std::string list;
  for (int i = 0; i < 4; ++i) list += server.Url("/p" + std::to_string(i)) + "\n";
  CliRunner cli;
  const CliRun run = cli.Run({"--no-delay", "--jobs", "4", "--delay", "300"}, list);
  EXPECT_EQ(Count(run.err, "OK : "), 4) << run.err;
  const std::vector<Clock::time_point> times = clock.Times();
  ASSERT_EQ(times.size(), 4u);
  for (std::size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 280ms) << i;
  }
}

TEST(MovrekCliNetwork, ServerDrippingBytesEndsAtTheLowSpeedRule) {
  ScriptedServer drip;
  drip.ReadRequest()
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 400\r\n\r\n")
      .SendSplit(std::string(400, 'x'), 1, 1000);
  drip.Start();
  CliRunner cli;
  const Clock::time_point started = Clock::now();
  const CliRun run = cli.Run({"--no-delay", "--min-speed", "1024/1.5"}, drip.Url("/") + "\n");
  EXPECT_LT(Clock::now() - started, 6s);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_TRUE(Contains(run.err,
                       "  reason: socket error 10060, Connection timed out (less than "
                       "1024 bytes in 1.5 s)\n"))
      << run.err;
  EXPECT_FALSE(Contains(run.err, "retry")) << run.err;
}

}  // namespace
