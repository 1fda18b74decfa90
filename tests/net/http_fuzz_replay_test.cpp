// Replays the kept HTTP response fuzz inputs (seeds and every crash input
// found) through the checks the fuzzer runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/net/http_response_feed.h"

namespace movrek {
namespace {

TEST(HttpFuzzReplay, KeptResponsesPassTheChecks) {
  int replayed = 0;
  for (const char* dir :
       {MOVREK_SOURCE_DIR "/fuzz/corpus/http", MOVREK_SOURCE_DIR "/fuzz/regressions/http"}) {
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      SCOPED_TRACE(entry.path().string());
      fuzz::FeedResponse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  EXPECT_GT(replayed, 0);
}

}  // namespace
}  // namespace movrek
