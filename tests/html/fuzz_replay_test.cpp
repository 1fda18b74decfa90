// Replays the kept fuzz inputs (seeds and every crash input ever found)
// through the same checks the fuzzer runs.
#include <gtest/gtest.h>

#include "fuzz/html/listing_check.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(FuzzReplay, KeptHtmlInputsPassTheListingChecks) {
  const auto inputs = test::ReadKeptInputs(MOVREK_SOURCE_DIR, "html");
  ASSERT_FALSE(inputs.empty());
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.path);
    movrek::fuzzing::CheckListingOnInput(input.bytes);
  }
}

}  // namespace
}  // namespace movrek
