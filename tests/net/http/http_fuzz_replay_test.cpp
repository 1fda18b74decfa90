// Replays the kept HTTP response fuzz inputs (seeds and every crash input
// found) through the checks the fuzzer runs, and through a whole
// transaction over loopback.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fuzz/net/http_parse_events.h"
#include "fuzz/net/http_response_feed.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(HttpFuzzReplay, KeptResponsesParseAlikeInEveryPiecing) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "http", [](const std::string& bytes) {
    fuzz::CheckParseEvents(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

TEST(HttpFuzzReplay, KeptResponsesPassTheTransactionChecks) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "http", [](const std::string& bytes) {
    fuzz::FeedResponse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

}  // namespace
}  // namespace movrek
