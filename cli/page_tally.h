// What became of each page, counted for the live line and the summary.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "cli/run_texts.h"
#include "engine/parallel/page_result.h"

namespace movrek::cli {

// The status of a list line that was refused before any fetch.
inline constexpr char kStatusRefused[] = "REFUSED. ";

enum class TPageVerdict {
  Fetched,  // read, with a final answer in 2xx
  Failed,   // no page (the fetch failed, the line was refused) or an answer outside 2xx
  Skipped,  // left alone on purpose
};

TPageVerdict VerdictOf(const TPageResult& page);

// The page's outcome as records name it for scripts: "ok", "http_error" (an
// answer outside 2xx), "failed" (no answer to list), "skipped" or "refused".
const char* OutcomeName(const TPageResult& page);

// Counts that workers may add to while another thread reads them.
class TPageTally {
 public:
  // `links`: those of the page that are counted (after --unique, say).
  void Add(const TPageResult& page, std::size_t links);
  TRunCounts Counts() const;

 private:
  std::atomic<std::int64_t> pages_{0};
  std::atomic<std::int64_t> links_{0};
  std::atomic<std::int64_t> failed_{0};
  std::atomic<std::int64_t> skipped_{0};
};

}  // namespace movrek::cli
