// The window the benchmarks show results in: it counts the lines instead of
// keeping them, so that what is timed is the work before the window. The
// filter is off, as by default. Serves both as the job's window and as a
// listing sink, without a vector per line in between.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/listing/listing_sink.h"
#include "engine/window_job/window_operations.h"

namespace movrek::bench {

class TNullWindow final : public TWindowOperations, public TBlockLines {
 public:
  void AppendResultLines(const std::vector<std::string>& lines) override {
    Lines += static_cast<long long>(lines.size());
  }
  void AppendResultLine(std::string line) override {
    ++Lines;
    benchmark::DoNotOptimize(line.data());
  }
  TFilterSettings ReadFilterSettings() override { return {}; }
  void SetStatusText(const std::string& /*text*/) override {}
  void SetProgressLine(const std::string& /*text*/) override {}
  std::string ReadSaveTarget() override { return {}; }
  void ClearSaveTarget() override {}
  void SaveResultList(const std::string& /*fileName*/) override {}
  void EnableStart() override { Started = true; }
  void ReportJobError(const std::string& text, int /*line*/) override { Error = text; }

  long long Lines = 0;
  bool Started = false;  // the job's completion has run
  std::string Error;     // the last error a job ended with
};

}  // namespace movrek::bench
