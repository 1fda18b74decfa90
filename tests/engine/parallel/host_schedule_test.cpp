#include "engine/parallel/host_schedule.h"

#include <gtest/gtest.h>

#include <chrono>

#include "engine/parallel/connection_pool.h"

namespace movrek {
namespace {

using namespace std::chrono_literals;
using TClock = THostSchedule::TClock;

TEST(HostSchedule, DelaySpacesTheStartsOfOneHostOnly) {
  THostSchedule schedule(300ms);
  const TClock::time_point t0 = TClock::now();
  EXPECT_FALSE(schedule.TryStart("a:80", t0));
  EXPECT_EQ(schedule.TryStart("a:80", t0 + 100ms), t0 + 300ms);
  EXPECT_FALSE(schedule.TryStart("b:80", t0 + 100ms));
  EXPECT_FALSE(schedule.TryStart("a:80", t0 + 300ms));
  EXPECT_EQ(schedule.TryStart("a:80", t0 + 301ms), t0 + 600ms);
}

TEST(HostSchedule, PauseHoldsBackItsHostEvenWithoutDelay) {
  THostSchedule schedule(0ms);
  const TClock::time_point t0 = TClock::now();
  EXPECT_FALSE(schedule.TryStart("a:443", t0));
  EXPECT_FALSE(schedule.TryStart("a:443", t0));
  schedule.PauseUntil("a:443", t0 + 2s);
  schedule.PauseUntil("a:443", t0 + 1s);  // a shorter pause does not shorten it
  EXPECT_EQ(schedule.TryStart("a:443", t0 + 1500ms), t0 + 2s);
  EXPECT_FALSE(schedule.TryStart("b:443", t0 + 1500ms));
  EXPECT_FALSE(schedule.TryStart("a:443", t0 + 2s));
}

TEST(ConnectionPool, KeepsPerHostNewestFirstAndClosesTheIdle) {
  TConnectionPool pool(2, 30s);
  auto give = [&](const char* key, const char* host, const char* tag) {
    TPooledConnection connection;
    connection.Sock = std::make_unique<TTCPBlockSocket>();
    connection.ConnectedHost = tag;
    pool.Give(key, host, std::move(connection));
  };
  give("http://a:80", "a:80", "a1");
  give("https://a:443", "a:443", "s1");
  give("http://a:80", "a:80", "a2");
  give("http://a:80", "a:80", "a3");  // beyond two for the host: a1 goes
  EXPECT_EQ(pool.IdleCount(), 3u);
  EXPECT_EQ(pool.Take("http://a:80")->ConnectedHost, "a3");
  EXPECT_EQ(pool.Take("http://a:80")->ConnectedHost, "a2");
  EXPECT_FALSE(pool.Take("http://a:80"));
  EXPECT_FALSE(pool.Take("http://b:80"));
  pool.CloseExpired(TClock::now() + 29s);
  EXPECT_EQ(pool.IdleCount(), 1u);
  pool.CloseExpired(TClock::now() + 30s);
  EXPECT_EQ(pool.IdleCount(), 0u);
}

}  // namespace
}  // namespace movrek
