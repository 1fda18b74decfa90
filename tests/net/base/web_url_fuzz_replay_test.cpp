// Replays the kept base-and-href fuzz inputs (seeds and every crash input
// found) through the checks the fuzzer runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fuzz/net/web_url_check.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(WebUrlFuzzReplay, KeptInputsPassTheChecks) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "web_url", [](const std::string& bytes) {
    fuzz::CheckWebUrl(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

}  // namespace
}  // namespace movrek
