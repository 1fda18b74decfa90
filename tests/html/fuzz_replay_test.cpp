// Replays the kept fuzz inputs (seeds and every crash input ever found)
// through the same checks the fuzzer runs.
#include <gtest/gtest.h>

#include <string>

#include "fuzz/html/listing_check.h"
#include "fuzz/html/page_text_check.h"
#include "fuzz/html/tokenizer_check.h"
#include "tests/helpers/kept_inputs.h"

namespace movrek {
namespace {

TEST(FuzzReplay, KeptHtmlInputsPassTheListingChecks) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "html", [](const std::string& bytes) {
    movrek::fuzzing::CheckListingOnInput(bytes);
  });
}

TEST(FuzzReplay, KeptPagesListOneAsciiLinePerLinkSavedOrAsTheyArrive) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "page_text", [](const std::string& bytes) {
    movrek::fuzzing::CheckPageTextOnInput(bytes);
  });
}

TEST(FuzzReplay, KeptTokenizerInputsGiveTheSameTokensWholeAndInPieces) {
  test::ReplayKeptInputs(MOVREK_SOURCE_DIR, "tokenizer", [](const std::string& bytes) {
    movrek::fuzzing::CheckTokenizerPiecesOnInput(bytes);
  });
}

}  // namespace
}  // namespace movrek
