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
#include "cli/url_list_reader.h"
#include "engine/parallel/parallel_job.h"

namespace movrek::cli {

inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
// Ended by SIGINT, SIGTERM or SIGHUP: 128 + the signal, as shells report it.
inline constexpr int kExitSignalBase = 128;
// 128 + SIGPIPE: what a program ended by a closed pipe reports. The network
// start-up ignores SIGPIPE, so a closed output is noticed instead.
inline constexpr int kExitOutputClosed = 141;

// The status of a list line that was refused before any fetch.
inline constexpr char kStatusRefused[] = "REFUSED. ";

// The record of a refused line, as the pages of the job are written.
TPageResult RefusedPage(const TRefusedLine& line);

class TListRun {
 public:
  TListRun(TCliOptions& options, TUrlList list);
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
  // The refused lines that stand before input line `inputLine`.
  void WriteRefusedBefore(int inputLine);
  std::string LiveText() const;

  std::string save_file_;
  std::vector<int> line_numbers_;
  std::vector<TRefusedLine> refused_;
  std::size_t next_refused_ = 0;
  std::chrono::steady_clock::time_point started_;
  TPageTally done_;  // pages the workers are through with, in any order
  std::unique_ptr<TParallelJob> job_;
  std::unique_ptr<TPageWriter> writer_;
  std::unique_ptr<TLiveLine> live_;
};

}  // namespace movrek::cli
