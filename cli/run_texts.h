// The texts that tell how a run goes: the live progress line, the summary
// at its end and the pieces they are made of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/parallel/parallel_job.h"

namespace movrek::cli {

// 37311 as "37,311".
std::string GroupedNumber(std::int64_t value);
// A byte count for people: "900 B", "12.3 KiB", "1.5 MiB", "2.0 GiB".
std::string ByteSizeText(std::int64_t bytes);
// A duration in whole units: "41 s", "3 min 05 s", "2 h 07 min".
std::string DurationText(double seconds);

// The counts of a run, as far as it got.
struct TRunCounts {
  std::int64_t Pages = 0;  // done, failed and skipped ones included
  std::int64_t Links = 0;
  std::int64_t Failed = 0;
  std::int64_t Skipped = 0;
};

// "412 pages, 37,311 links, 3 failed, 1 skipped in 12.4 s".
std::string SummaryText(const TRunCounts& counts, double seconds);

// What the live line shows; `total` is the number of lines of the job, -1
// when it is not known.
std::string LiveLineText(const TRunCounts& counts, std::int64_t total, double seconds,
                         const std::vector<TTransferInFlight>& inFlight);

// "ADDRESS (1.2 MiB of 3.0 MiB)": a line still in transfer, as an abort
// names it.
std::string InFlightText(const TTransferInFlight& transfer);

// The text cut to fit `columns` terminal cells; control characters become
// '?'. A character outside ASCII is taken as two cells, so that wide ones
// never make the terminal wrap.
std::string FitToColumns(const std::string& text, int columns);

}  // namespace movrek::cli
