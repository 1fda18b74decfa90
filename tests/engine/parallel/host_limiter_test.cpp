// Which transfers count against the same host.
#include "engine/parallel/host_limiter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HostLimiter, AddressesOfOneServerShareAHost) {
  const struct {
    const char* address;
    const char* host;
  } cases[] = {
      {"http://Example.ORG/a", "example.org:80"},
      {"http://example.org:80/b?c", "example.org:80"},
      {"HTTPS://example.org#x", "example.org:443"},
      {"http://user:pw@example.org:8080/", "example.org:8080"},
      {"http://[::1]/", "[::1]:80"},
      {"https://[::1]:8443/", "[::1]:8443"},
      // The name a connection is pooled under: its ASCII form.
      {"http://B\xC3\xBC"
       "cher.example/",
       "xn--bcher-kva.example:80"},
  };
  for (const auto& c : cases) EXPECT_EQ(movrek::HostOfAddress(c.address), c.host) << c.address;
}

}  // namespace
