// The worker's channel to the window. Every window operation of a job passes
// through here: carried out on the window's thread in the order the job makes
// them, and dropped once the window has aborted the job. Result lines travel
// in batches, so a page of a hundred thousand links costs the window's thread
// a handful of hand-offs rather than one per link.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/listing/listing_sink.h"
#include "engine/window_job/call_queue.h"
#include "engine/window_job/window_operations.h"

namespace movrek {

class TWindowChannel final : public TWindowOperations,
                             public TBlockLines,
                             public std::enable_shared_from_this<TWindowChannel> {
 public:
  TWindowChannel(TCallQueue& windowThread, TWindowOperations& window);
  TWindowChannel(const TWindowChannel&) = delete;
  TWindowChannel& operator=(const TWindowChannel&) = delete;

  // --- worker side ---------------------------------------------------------

  // The window operations. Each hands over the result lines held back first,
  // so the window sees everything in the order the worker made it. Reads
  // wait for their answer and raise EJobAborted when the job is aborted
  // meanwhile; changes are queued without waiting.
  void AppendResultLines(const std::vector<std::string>& lines) override;
  void SetStatusText(const std::string& text) override;
  void SetProgressLine(const std::string& text) override;
  std::string ReadSaveTarget() override;
  void ClearSaveTarget() override;
  void SaveResultList(const std::string& fileName) override;
  void EnableStart() override;
  void ReportJobError(const std::string& text, int line) override;

  // Holds the line back for the next batch; a batch goes once it is
  // kResultBatchIntervalMs old. Raises EJobAborted once the job is aborted, so
  // a long listing stops at once.
  void AppendResultLine(std::string line) override;
  // Answers from the settings last carried over from the window and has
  // them refreshed along with the next batch (or on their own when the last
  // refresh is older than kResultBatchIntervalMs), so a page of 100,000 links
  // costs no round trip per link and a change made during a page applies
  // soon after.
  TFilterSettings ReadFilterSettings() override;
  // Hands the lines held back over now.
  void FlushResultLines();
  // Queues a read of the window's filter settings unless one is queued.
  void RefreshFilterSettings();

  // Queues `call` for the window's thread unless the job was aborted; it is
  // skipped if the job has been aborted by the time it runs.
  void Post(std::function<void()> call);
  // Queues `call` and waits until it has run. False when the job was aborted
  // first (the call is then never run).
  bool Call(std::function<void()> call);
  // Sleeps for the duration or until the job is aborted.
  void WaitForAbort(std::chrono::milliseconds duration);

  // --- window side ---------------------------------------------------------

  // The settings the window shows when the job starts.
  void SeedFilterSettings(const TFilterSettings& settings);
  // From now on nothing more reaches the window: no call is queued any
  // more, queued ones are skipped, and waiting workers wake.
  void Abort();
  bool Aborted() const;
  // The window itself, for a call already running on its thread.
  TWindowOperations& WindowOnItsThread() { return window_; }

 private:
  // A monotonic clock of a few milliseconds' resolution, ample for a 50 ms
  // interval and cheap enough to ask for every line.
  struct Clock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<Clock, duration>;
    static time_point now();
  };
  void FlushIfDue();
  // Posts the lines held back, with a filter read when one is wanted.
  void PostBatch(bool readFilter);
  void PostFilterRead();

  TCallQueue& window_thread_;
  TWindowOperations& window_;

  // Guards aborted_ against the queuing of calls, so that once Abort has
  // returned no call of this job can reach the window's thread any more.
  mutable std::mutex gate_;
  std::condition_variable gate_changed_;
  std::atomic<bool> aborted_{false};  // set under gate_, read anywhere

  // Worker only.
  std::vector<std::string> pending_lines_;
  Clock::time_point batch_started_;
  Clock::time_point last_filter_read_;

  std::mutex filter_lock_;
  TFilterSettings filter_;        // guarded by filter_lock_
  bool filter_known_ = false;     // guarded by filter_lock_
  bool refresh_pending_ = false;  // guarded by filter_lock_
};

}  // namespace movrek
