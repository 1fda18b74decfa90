// The extraction job: a worker thread that walks a private copy of the URL
// list, and the window-side commands that start it, complete it and abort it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/job_settings.h"
#include "engine/text_list.h"
#include "engine/window_operations.h"
#include "engine/window_thread.h"
#include "net/socket_types.h"

namespace movrek {

class THttpTransaction;

// Message of Start when the URL list has no line at all.
inline constexpr char kEmptyUrlListMessage[] = "At least one url is needed to extract link.";
// Start drops URL lines shorter than this (blanks count).
inline constexpr std::size_t kShortestUrlLine = 3;
// A save target is used only when its path is longer than this.
inline constexpr std::size_t kShortestSaveTarget = 3;

// Thrown on the worker once the job was aborted: it unwinds the URL in
// progress (its transaction and temporary files go with it) and ends the run
// without the completion. Deliberately not a std::exception, so that no
// handler for ordinary errors swallows it.
struct EJobAborted {};

// "<line> [List number: <i>, Total List Items: <n>]." for 1-based i.
std::string ProgressLineText(const std::string& line, int number, int total);
// The transfer progress: received / download_size * 100 rounded to the
// nearest integer (a half to the even neighbour) followed by "%", or
// "Bytes received : <received>" when download_size is 0.
std::string TransferProgressText(std::int32_t received, std::int32_t download_size);

// One job. Shared between its worker thread, the window-side controller and
// the calls the worker has queued for the window's thread, so that whichever
// finishes last frees it.
class TMyThread : public std::enable_shared_from_this<TMyThread> {
 public:
  TMyThread(TWindowThread& window_thread, TWindowOperations& window, TJobSettings settings,
            std::vector<std::string> url_list);
  ~TMyThread();
  TMyThread(const TMyThread&) = delete;
  TMyThread& operator=(const TMyThread&) = delete;

  // --- worker side ---------------------------------------------------------

  // The thread's body: every URL in turn, then the completion is queued for
  // the window's thread (unless the job was aborted).
  void Execute();

  // Socket status handler of every transaction of this job: adds up the bytes
  // read and shows the progress, waiting until the window has shown it.
  void SocketProgress(TBlockSocket* sender, THookSocketReason reason, const std::string& value);

  // The window as the worker sees it: every call is carried out on the
  // window's thread in the order made; reads wait for their answer. After an
  // abort nothing reaches the window and result lines raise EJobAborted.
  TWindowOperations& Window();

  // Publishes the transaction of the URL in progress for Abort. False (and
  // nothing published) when the job was aborted already.
  bool AttachHttp(THttpTransaction* http);
  // Withdraws it; once this returns, Abort can no longer reach the object.
  void DetachHttp();

  // Sleeps unless the settings turn pauses off; returns early on abort.
  void Pause(std::chrono::milliseconds duration);

  const TJobSettings& Settings() const { return settings_; }

  // The page file of the URL in progress (its name file goes with it), or
  // empty. Set and cleared by the worker; read from any thread.
  void SetPageFile(const std::string& page_file);
  std::string PageFile() const;

  // --- window side -----------------------------------------------------------

  // Copies StatusText into the status bar; runs on the window's thread.
  void UpdateStatusBar();

  // The filter settings as the window shows them when the job starts; later
  // reads by the worker refresh them without waiting.
  void SeedFilterSettings(const TFilterSettings& settings);

  // Stops the transfer in progress and ends the job for the window: no
  // further window change, no completion. Window's thread.
  void Abort();
  bool Aborted() const { return aborted_.load(std::memory_order_acquire); }

  // True once Execute has returned.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

  // Why the body ended early; empty after a normal end. Read by the
  // completion, after the worker has queued it.
  const std::string& ErrorText() const { return error_text_; }
  int ErrorLine() const { return error_line_; }

  // The completion handler, queued on the window's thread after the body.
  std::function<void(TMyThread& job)> OnTerminate;

  // Progress text prepared for the status bar; written by the worker, read
  // only while it waits for UpdateStatusBar.
  std::string StatusText;
  // The transaction of the URL in progress, or none. Written only by the
  // worker and only under HttpLock; Abort reads it under HttpLock.
  THttpTransaction* Http = nullptr;
  std::mutex HttpLock;
  // Private copy of the URL list, taken when the job was created.
  TTextList UrlList;
  // Bytes read from the socket for the URL in progress (worker only).
  std::int32_t ReceivedBytes = 0;

 private:
  class TWorkerWindow;

  // Queues `call` for the window's thread; it is skipped if the job has been
  // aborted by the time it runs.
  void PostToWindow(std::function<void()> call);
  // Queues `call` and waits until it has run. False when the job was aborted
  // first (the call is then never run).
  bool CallOnWindow(std::function<void()> call);

  TWindowThread& window_thread_;
  TWindowOperations& window_;
  const TJobSettings settings_;
  std::unique_ptr<TWorkerWindow> worker_window_;

  std::atomic<bool> aborted_{false};
  std::atomic<bool> finished_{false};
  // Pairs with aborted_ and the answers of CallOnWindow, so that a waiting
  // worker wakes on either.
  std::mutex gate_;
  std::condition_variable gate_changed_;

  std::string error_text_;
  int error_line_ = 0;

  mutable std::mutex page_file_lock_;
  std::string page_file_;  // guarded by page_file_lock_
};

// The window-side half of the job: Start, Run, the completion and Abort,
// written against the window operations. Every method runs on the window's
// thread. Owns the worker threads it started and joins them when destroyed.
class TExtractionWindow {
 public:
  TExtractionWindow(TWindowThread& window_thread, TWindowOperations& window,
                    TJobSettings settings = {});
  ~TExtractionWindow();  // aborts a running job, then waits for every worker
  TExtractionWindow(const TExtractionWindow&) = delete;
  TExtractionWindow& operator=(const TExtractionWindow&) = delete;

  // Start: refuses a list without any line (returns false; the caller shows
  // kEmptyUrlListMessage), drops lines shorter than kShortestUrlLine, runs a
  // job over the rest (even none), disables Start and pauses 100 ms.
  bool Button1Click(std::vector<std::string>& url_lines);
  // Starts a job over a copy of the lines.
  void Run(const std::vector<std::string>& url_lines);
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
  // Removes the temporary files of every worker still running, for a front
  // end that leaves without waiting for them (a worker stuck in a long local
  // step would otherwise leave its page behind).
  void RemoveAbandonedFiles();

  // The job started last; Abort acts on it.
  std::shared_ptr<TMyThread> CurrentJob;

 private:
  struct TWorker {
    std::shared_ptr<TMyThread> job;
    std::thread thread;
  };
  void ReapFinishedWorkers();
  void Pause(std::chrono::milliseconds duration) const;

  TWindowThread& window_thread_;
  TWindowOperations& window_;
  const TJobSettings settings_;
  bool start_enabled_ = true;
  std::vector<TWorker> workers_;
};

}  // namespace movrek
