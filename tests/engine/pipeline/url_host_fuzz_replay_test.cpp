// Replays the kept URL line fuzz inputs (seeds and every crash input found)
// through the checks the fuzzer runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fuzz/net/url_host_check.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(UrlHostFuzzReplay, KeptLinesReachOnlyTheHostTheyName) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "url_lines", [](const std::string& bytes) {
    fuzz::CheckUrlLine(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  });
}

}  // namespace
}  // namespace movrek
