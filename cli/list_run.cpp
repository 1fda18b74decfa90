#include "cli/list_run.h"

#include <utility>

#include "engine/engine_limits.h"
#include "engine/extraction_window.h"

namespace movrek::cli {

TListRun::TListRun(TCliOptions& options, std::vector<std::string> lines)
    : save_file_(options.SaveFile) {
  // Where each URL that survives the cleaning stands in the input.
  std::vector<int> line_numbers;
  std::vector<std::string> urls;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() < kMinUrlLineBytes) {
      continue;
    }
    line_numbers.push_back(static_cast<int>(i + 1));
    urls.push_back(std::move(lines[i]));
  }
  TParallelSettings settings;
  settings.Job = options.Job;
  settings.Jobs = options.Jobs;
  settings.PerHost = options.PerHost;
  settings.MaxTime = options.MaxTime;
  settings.Fetch = options.Fetch;
  settings.Filter = std::move(options.Filter);
  job_ = std::make_unique<TParallelJob>(std::move(settings), std::move(urls));
  writer_ = std::make_unique<TPageWriter>(stdout, stderr, options.Format, options.Unique,
                                          !save_file_.empty(), std::move(line_numbers));
}

TListRun::TOutcome TListRun::Finish(const volatile std::sig_atomic_t& interrupted) {
  std::size_t written = 0;
  while (written < job_->Count()) {
    if (interrupted != 0) {
      writer_->Message("movrek-cli: aborted");
      return Stop(kExitSignalBase + interrupted);
    }
    if (writer_->OutputBroken()) {
      return Stop(kExitOutputClosed);
    }
    std::optional<TPageResult> page = job_->Next(std::chrono::milliseconds(kInterruptPollMs));
    if (!page) {
      continue;
    }
    ++written;
    if (!writer_->Write(std::move(*page), static_cast<int>(written))) {
      break;
    }
    writer_->Flush();
  }
  // Nothing the workers still do is wanted now: after an error that ended
  // the job they may be fetching lines beyond it.
  const bool left = job_->Shutdown(std::chrono::milliseconds(kAbortGraceMs)) > 0;
  writer_->Flush();
  // The last lines may only fail on the final flush; results that never
  // reached standard output must not end in a success.
  if (writer_->OutputBroken()) {
    writer_->Message("movrek-cli: standard output could not be written");
    return TOutcome{kExitOutputClosed, left};
  }
  if (!save_file_.empty()) {
    writer_->Save(save_file_);
  }
  return TOutcome{writer_->ReportedErrors() ? kExitError : kExitCompleted, left};
}

TListRun::TOutcome TListRun::Stop(int code) {
  job_->Abort();
  writer_->Flush();
  return TOutcome{code, job_->Shutdown(std::chrono::milliseconds(kAbortGraceMs)) > 0};
}

}  // namespace movrek::cli
