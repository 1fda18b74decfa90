// The line limit held while a peer's reply head is read: the owner's stricter
// limit wins, and the owner's own comes back afterwards.
#include "net/socket/line_limit_guard.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "net/socket/tcp_block_socket.h"

namespace movrek::test {
namespace {

TEST(LineLimitGuard, HoldsTheStricterOfBoundAndOwnerLimitAndRestoresTheOwners) {
  struct Case {
    std::int32_t owner;
    std::int32_t held;
  };
  constexpr std::int32_t kBound = 100;
  // 0 and negative owner limits mean "no limit": the bound applies.
  for (const Case c : {Case{0, kBound}, Case{-1, kBound}, Case{40, 40}, Case{kBound, kBound},
                       Case{kBound + 1, kBound}}) {
    TTCPBlockSocket socket;
    socket.MaxLineLength = c.owner;
    {
      const TLineLimitGuard guard(socket, kBound);
      EXPECT_EQ(socket.MaxLineLength, c.held) << "owner limit " << c.owner;
    }
    EXPECT_EQ(socket.MaxLineLength, c.owner);
  }
}

}  // namespace
}  // namespace movrek::test
