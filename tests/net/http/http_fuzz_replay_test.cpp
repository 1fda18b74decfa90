// Replays the kept HTTP response fuzz inputs (seeds and every crash input
// found) through the checks the fuzzer runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fuzz/net/http_response_feed.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(HttpFuzzReplay, KeptResponsesPassTheChecks) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "http", [](const std::string& bytes) {
    fuzz::FeedResponse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

}  // namespace
}  // namespace movrek
