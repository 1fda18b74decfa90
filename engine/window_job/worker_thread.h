// The job's worker thread: walks a private copy of the URL list, one URL at a
// time through the per-URL pipeline, and tells the window what it does
// through its window channel.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/listing/text_list.h"
#include "engine/pipeline/job_aborted.h"
#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/progress_texts.h"
#include "engine/pipeline/url_in_progress.h"
#include "engine/pipeline/url_job.h"
#include "engine/window_job/call_queue.h"
#include "engine/window_job/window_channel.h"
#include "engine/window_job/window_operations.h"
#include "net/socket/socket_types.h"

namespace movrek {

// One job. Shared between its worker thread, the window-side controller and
// the calls the worker has queued for the window's thread, so that whichever
// finishes last frees it.
class TMyThread final : public TUrlJob,
                        private TBlockLines,
                        public std::enable_shared_from_this<TMyThread> {
 public:
  TMyThread(TCallQueue& windowThread, TWindowOperations& window, TJobSettings settings,
            std::vector<std::string> urlList);
  // A job over the lines of a whole list text, which the worker asks
  // `listText` for and splits when it starts: the window's thread never
  // copies or splits a list of millions of lines.
  TMyThread(TCallQueue& windowThread, TWindowOperations& window, TJobSettings settings,
            std::function<std::string()> listText);
  ~TMyThread() override;
  TMyThread(const TMyThread&) = delete;
  TMyThread& operator=(const TMyThread&) = delete;

  // --- worker side ---------------------------------------------------------

  // The thread's body: every URL in turn, then the completion is queued for
  // the window's thread (unless the job was aborted).
  void Execute();

  // Socket status handler of every transaction of this job: adds up the bytes
  // read and shows the progress, waiting until the window has shown it.
  void SocketProgress(TBlockSocket* sender, THookSocketReason reason,
                      const std::string& value) override;

  // The window as the worker sees it, through the channel: every call is
  // carried out on the window's thread in the order made. After an abort
  // nothing reaches the window and result lines raise EJobAborted.
  TListingSink& ResultSink() override;
  void FlushResults() override;
  // Shows the page's status text and counts the failed pages.
  void FetchDone(const TPageOutcome& outcome) override;

  TUrlInProgress& InProgress() override { return in_progress_; }
  void ResetReceivedBytes() override;
  void ShowLastProgress() override;
  void Pause(std::chrono::milliseconds duration) override;

  const TJobSettings& Settings() const override { return settings_; }

  // --- window side -----------------------------------------------------------

  // Copies StatusText into the status bar; runs on the window's thread.
  void UpdateStatusBar();

  // The filter settings as the window shows them when the job starts; later
  // reads by the worker refresh them without waiting.
  void SeedFilterSettings(const TFilterSettings& settings);

  // Stops the transfer in progress and ends the job for the window: no
  // further window change, no completion. Any thread.
  void Abort();
  bool Aborted() const override { return channel_->Aborted(); }

  // True once Execute has returned.
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

  // Why the body ended early; empty after a normal end. Read by the
  // completion, after the worker has queued it.
  const std::string& ErrorText() const { return error_text_; }
  int ErrorLine() const { return error_line_; }
  // What the body did; read by the completion, after the worker has queued
  // it.
  const TJobSummary& Summary() const { return summary_; }

  // The completion handler, queued on the window's thread after the body.
  std::function<void(TMyThread& job)> OnTerminate;

  // Progress text prepared for the status bar; written by the worker, read
  // only while it waits for UpdateStatusBar.
  std::string StatusText;
  // Private copy of the URL list, taken when the job was created.
  TTextList UrlList;
  // Bytes read from the socket for the URL in progress (worker only).
  std::int32_t ReceivedBytes = 0;

 private:
  const TJobSettings settings_;
  std::shared_ptr<TWindowChannel> channel_;
  // Shows StatusText, waiting until the window has shown it.
  void ShowProgress();
  // The listing's lines go on to the channel; the links among them are
  // counted on the way.
  void AppendResultLine(std::string line) override;
  TFilterSettings ReadFilterSettings() override;

  // The progress text the window shows now (worker only): the same text
  // again would change nothing on the window, so it costs no hand-off.
  std::string shown_progress_;
  // A text newer than shown_progress_ waits for the next hand-off (worker
  // only).
  bool progress_held_ = false;
  std::chrono::steady_clock::time_point progress_shown_at_;

  // Gives the list as a text, for the worker to make UrlList of.
  std::function<std::string()> list_text_;

  std::atomic<bool> finished_{false};
  std::string error_text_;
  int error_line_ = 0;
  TJobSummary summary_;

  TUrlInProgress in_progress_{*this};
};

}  // namespace movrek
