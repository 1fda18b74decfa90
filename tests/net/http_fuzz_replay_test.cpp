// Replays the kept HTTP response fuzz inputs (seeds and every crash input
// found) through the checks the fuzzer runs.
#include <gtest/gtest.h>

#include <cstdint>

#include "fuzz/net/http_response_feed.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(HttpFuzzReplay, KeptResponsesPassTheChecks) {
  const auto inputs = test::ReadKeptInputs(MOVREK_SOURCE_DIR, "http");
  ASSERT_FALSE(inputs.empty());
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.path);
    fuzz::FeedResponse(reinterpret_cast<const std::uint8_t*>(input.bytes.data()),
                       input.bytes.size());
  }
}

}  // namespace
}  // namespace movrek
