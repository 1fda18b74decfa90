// Replays the kept fuzz inputs (seeds and every crash input ever found)
// through the same checks the fuzzer runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/html/listing_check.h"

namespace movrek {
namespace {

TEST(FuzzReplay, KeptHtmlInputsPassTheListingChecks) {
  int replayed = 0;
  for (const char* dir :
       {MOVREK_SOURCE_DIR "/fuzz/corpus/html", MOVREK_SOURCE_DIR "/fuzz/regressions/html"}) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      SCOPED_TRACE(entry.path().string());
      movrek::fuzzing::CheckListingOnInput(bytes);
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace movrek
