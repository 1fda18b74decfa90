// One run of movrek-cli over a URL list: the job, its pages written in list
// order as they come, the save file at the end.
#pragma once

#include <chrono>
#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/page_writer.h"
#include "engine/parallel_job.h"

namespace movrek::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
// Ended by SIGINT, SIGTERM or SIGHUP: 128 + the signal, as shells report it.
inline constexpr int kExitSignalBase = 128;
// 128 + SIGPIPE: what a program ended by a closed pipe reports. The network
// start-up ignores SIGPIPE, so a closed output is noticed instead.
inline constexpr int kExitOutputClosed = 141;

class TListRun {
 public:
  // `lines` as read; lines too short to be an address are dropped here.
  TListRun(TCliOptions& options, std::vector<std::string> lines);

  // Starts the workers; they inherit the calling thread's signal mask.
  void Start() { job_->Start(); }

  struct TOutcome {
    int ExitCode = kExitCompleted;
    // Workers still held (in a name lookup) after an abort: the caller ends
    // the process without waiting for them.
    bool WorkersLeft = false;
  };
  // Writes the pages as they come until the job is through, `interrupted`
  // turns non-zero or standard output breaks.
  TOutcome Finish(const volatile std::sig_atomic_t& interrupted);

 private:
  TOutcome Stop(int code);

  std::string save_file_;
  std::unique_ptr<TParallelJob> job_;
  std::unique_ptr<TPageWriter> writer_;
};

}  // namespace movrek::cli
