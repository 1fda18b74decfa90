#include "cli/page_tally.h"

#include "engine/pipeline/progress_texts.h"

namespace movrek::cli {

TPageVerdict VerdictOf(const TPageResult& page) {
  if (page.Skipped) {
    return TPageVerdict::Skipped;
  }
  if (page.StatusText != kStatusOk || page.HttpStatus < 200 || page.HttpStatus > 299) {
    return TPageVerdict::Failed;
  }
  return TPageVerdict::Fetched;
}

const char* OutcomeName(const TPageResult& page) {
  switch (VerdictOf(page)) {
    case TPageVerdict::Fetched:
      return "ok";
    case TPageVerdict::Skipped:
      return "skipped";
    case TPageVerdict::Failed:
      break;
  }
  if (page.StatusText == kStatusRefused) {
    return "refused";
  }
  return page.StatusText == kStatusOk && page.HttpStatus != 0 ? "http_error" : "failed";
}

void TPageTally::Add(const TPageResult& page, std::size_t links) {
  pages_.fetch_add(1, std::memory_order_relaxed);
  links_.fetch_add(static_cast<std::int64_t>(links), std::memory_order_relaxed);
  switch (VerdictOf(page)) {
    case TPageVerdict::Failed:
      failed_.fetch_add(1, std::memory_order_relaxed);
      break;
    case TPageVerdict::Skipped:
      skipped_.fetch_add(1, std::memory_order_relaxed);
      break;
    case TPageVerdict::Fetched:
      break;
  }
}

TRunCounts TPageTally::Counts() const {
  TRunCounts counts;
  counts.Pages = pages_.load(std::memory_order_relaxed);
  counts.Links = links_.load(std::memory_order_relaxed);
  counts.Failed = failed_.load(std::memory_order_relaxed);
  counts.Skipped = skipped_.load(std::memory_order_relaxed);
  return counts;
}

}  // namespace movrek::cli
