// The window-side half of the job: Start, Run, the completion and Abort,
// written against the window operations.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/progress_texts.h"
#include "engine/window_job/call_queue.h"
#include "engine/window_job/window_operations.h"
#include "engine/window_job/worker_thread.h"

namespace movrek {

// Every method runs on the window's thread. Owns the worker threads it
// started and ends them when destroyed.
class TWindowJobController {
 public:
  TWindowJobController(TCallQueue& windowThread, TWindowOperations& window,
                       TJobSettings settings = {});
  // Shutdown().
  ~TWindowJobController();
  TWindowJobController(const TWindowJobController&) = delete;
  TWindowJobController& operator=(const TWindowJobController&) = delete;

  // Start: refuses a list without any line (returns false; the caller shows
  // kEmptyUrlListMessage), drops lines shorter than kMinUrlLineBytes, runs a
  // job over the rest (even none) and disables Start. Unlike Abort it does
  // not pause: the window's thread would be held for as long.
  bool Button1Click(std::vector<std::string>& urlLines);
  // Start on a list that has lines, none shorter than kMinUrlLineBytes (see
  // HasLineShorterThan), given as its whole text: the job's worker asks
  // `listText` for it and splits it, so a list of millions of lines costs
  // the window's thread no line-by-line work.
  void Button1ClickOnText(std::function<std::string()> listText);
  // Starts a job over a copy of the lines.
  void Run(const std::vector<std::string>& urlLines);
  // Completion: automatic save, Start enabled, save target, progress line
  // and status bar cleared; then any error is reported to the window.
  void MyThreadTerminate(TMyThread& job);
  // Abort: nothing when no job runs; otherwise stops the transfer, ends the
  // job without completion, pauses 100 ms and returns the window to Idle.
  void Button5Click();

  // Start is enabled: no job runs.
  bool StartEnabled() const { return start_enabled_; }
  // Waits up to `timeout` for every worker thread to end; true when all did.
  bool WaitForWorkers(std::chrono::milliseconds timeout);
  // For a front end that leaves: aborts a running job (without touching the
  // window) and waits for every worker; a stop reaches each of their waits,
  // name lookups included, within a slice of 50 ms.
  void Shutdown();

  // The job started last; Abort acts on it.
  std::shared_ptr<TMyThread> CurrentJob;

 private:
  struct TWorker {
    std::shared_ptr<TMyThread> job;
    std::thread thread;
  };
  void ReapFinishedWorkers();
  void Launch(const std::shared_ptr<TMyThread>& job);
  void Pause(std::chrono::milliseconds duration) const;

  TCallQueue& window_thread_;
  TWindowOperations& window_;
  const TJobSettings settings_;
  bool start_enabled_ = true;
  std::vector<TWorker> workers_;
};

}  // namespace movrek
