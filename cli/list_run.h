// One run of movrek-cli over a URL list: the job, its pages written in list
// order as they come, the live line, the summary and the save file at the
// end.
#pragma once

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "cli/live_line.h"
#include "cli/options.h"
#include "cli/page_tally.h"
#include "cli/page_writer.h"
#include "engine/parallel/parallel_job.h"

namespace movrek::cli {

// Every address was listed (or skipped as no page).
inline constexpr int kExitCompleted = 0;
// The run could not go on: a page could not be stored, the save failed.
inline constexpr int kExitError = 1;
// The run went through, but some addresses failed or were refused.
inline constexpr int kExitSomeFailed = 3;
// Ended by SIGINT, SIGTERM or SIGHUP: 128 + the signal, as shells report it.
inline constexpr int kExitSignalBase = 128;
// 128 + SIGPIPE: what a program ended by a closed pipe reports. The network
// start-up ignores SIGPIPE, so a closed output is noticed instead.
inline constexpr int kExitOutputClosed = 141;

class TListRun {
 public:
  TListRun(TCliOptions& options, std::unique_ptr<TLineSource> lines);
  ~TListRun();
  TListRun(const TListRun&) = delete;
  TListRun& operator=(const TListRun&) = delete;

  // Starts the workers and the live line; they inherit the calling
  // thread's signal mask.
  void Start();

  struct TOutcome {
    int ExitCode = kExitCompleted;
  };
  // Writes the pages as they come until the job is through, `interrupted`
  // turns non-zero or standard output breaks; the summary comes last.
  TOutcome Finish(const volatile std::sig_atomic_t& interrupted);

 private:
  TOutcome Stop(int code);
  TOutcome Ended(TOutcome outcome);
  std::string LiveText() const;

  std::string save_file_;
  std::chrono::steady_clock::time_point started_;
  TPageTally done_;  // pages the workers are through with, in any order
  std::unique_ptr<TParallelJob> job_;
  std::unique_ptr<TPageWriter> writer_;
  std::unique_ptr<TLiveLine> live_;
};

}  // namespace movrek::cli
