#include "cli/list_run.h"

#include <unistd.h>

#include <utility>

#include "engine/parallel/parallel_limits.h"

namespace movrek::cli {
namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool ShowsLiveLine(const TCliOptions& options) {
  switch (options.Progress) {
    case TProgressMode::On:
      return true;
    case TProgressMode::Off:
      return false;
    case TProgressMode::Auto:
      break;
  }
  return !options.Quiet && ::isatty(STDERR_FILENO) == 1;
}

}  // namespace

TListRun::TListRun(TCliOptions& options, std::unique_ptr<TLineSource> lines)
    : save_file_(options.SaveFile), started_(std::chrono::steady_clock::now()) {
  TParallelSettings settings = std::move(options.Engine);
  settings.Job.AnchorText = options.WithText || options.Format == TResultFormat::Csv;
  settings.OnPageDone = [this](const TPageResult& page) { done_.Add(page, page.Links.size()); };
  job_ = std::make_unique<TParallelJob>(std::move(settings), std::move(lines));
  const TResultFormat format = options.Format == TResultFormat::Tsv && options.WithStatus
                                   ? TResultFormat::TsvWithStatus
                                   : options.Format;
  writer_ = std::make_unique<TPageWriter>(stdout, stderr, format, options.Unique,
                                          !save_file_.empty(), options.Quiet);
  if (ShowsLiveLine(options)) {
    live_ = std::make_unique<TLiveLine>(stdout, stderr, ::isatty(STDOUT_FILENO) == 1,
                                        [this] { return LiveText(); });
    writer_->SetLiveLine(live_.get());
  }
}

TListRun::~TListRun() {
  // The line reads the job: it goes first.
  live_.reset();
}

void TListRun::Start() {
  job_->Start();
  if (live_) {
    live_->Start();
  }
}

std::string TListRun::LiveText() const {
  return LiveLineText(done_.Counts(), job_->Total(), SecondsSince(started_), job_->InFlight());
}

TListRun::TOutcome TListRun::Finish(const volatile std::sig_atomic_t& interrupted) {
  while (!job_->Done()) {
    if (interrupted != 0) {
      return Stop(kExitSignalBase + interrupted);
    }
    if (writer_->OutputBroken()) {
      return Stop(kExitOutputClosed);
    }
    std::optional<TPageResult> page = job_->Next(std::chrono::milliseconds(kInterruptPollMs));
    if (!page) {
      continue;
    }
    if (!writer_->Write(std::move(*page))) {
      break;
    }
    writer_->Flush();
  }
  // Nothing the workers still do is wanted now: after an error that ended
  // the job they may be fetching lines beyond it.
  job_->Shutdown();
  writer_->Flush();
  // The last lines may only fail on the final flush; results that never
  // reached standard output must not end in a success.
  if (writer_->OutputBroken()) {
    writer_->Message("movrek-cli: standard output could not be written");
    return Ended(TOutcome{kExitOutputClosed});
  }
  if (!save_file_.empty()) {
    writer_->Save(save_file_);
  }
  if (writer_->ReportedErrors()) {
    return Ended(TOutcome{kExitError});
  }
  return Ended(TOutcome{writer_->Counts().Failed > 0 ? kExitSomeFailed : kExitCompleted});
}

TListRun::TOutcome TListRun::Stop(int code) {
  // Taken before the abort, which ends the transfers.
  const std::vector<TTransferInFlight> in_flight = job_->InFlight();
  job_->Abort();
  writer_->Flush();
  if (code != kExitOutputClosed) {
    if (live_) {
      live_->Stop();
    }
    writer_->Message("movrek-cli: aborted");
    for (const TTransferInFlight& transfer : in_flight) {
      writer_->Message("  in flight: " + InFlightText(transfer));
    }
  }
  job_->Shutdown();
  return Ended(TOutcome{code});
}

TListRun::TOutcome TListRun::Ended(TOutcome outcome) {
  if (live_) {
    live_->Stop();
  }
  writer_->Message(SummaryText(writer_->Counts(), SecondsSince(started_)));
  return outcome;
}

}  // namespace movrek::cli
