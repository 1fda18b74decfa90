#include "engine/window_job/window_channel.h"

#include <time.h>

#include <utility>

#include "engine/pipeline/job_aborted.h"
#include "engine/window_job/window_job_limits.h"
#include "text/printable_text.h"

namespace movrek {

TWindowChannel::TWindowChannel(TCallQueue& windowThread, TWindowOperations& window)
    : window_thread_(windowThread), window_(window) {}

TWindowChannel::Clock::time_point TWindowChannel::Clock::now() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

// --- hand-off ------------------------------------------------------------------

void TWindowChannel::Post(std::function<void()> call) {
  std::lock_guard<std::mutex> guard(gate_);
  if (aborted_.load(std::memory_order_relaxed)) {
    return;
  }
  // The queued call holds the channel, so it can still ask whether the job
  // was aborted when it finally runs, however long after the worker ended.
  window_thread_.Post([self = shared_from_this(), call = std::move(call)] {
    if (!self->Aborted()) {
      call();
    }
  });
}

bool TWindowChannel::Call(std::function<void()> call) {
  auto done = std::make_shared<bool>(false);  // guarded by gate_
  {
    std::lock_guard<std::mutex> guard(gate_);
    if (aborted_.load(std::memory_order_relaxed)) {
      return false;
    }
    window_thread_.Post([self = shared_from_this(), done, call = std::move(call)] {
      // Abort runs on this thread too, so a job aborted before this point is
      // seen here, and `call` (which may refer to the waiting worker's
      // locals, gone once it stopped waiting) is not run.
      if (self->Aborted()) {
        return;
      }
      call();
      {
        std::lock_guard<std::mutex> answered(self->gate_);
        *done = true;
      }
      self->gate_changed_.notify_all();
    });
  }
  std::unique_lock<std::mutex> guard(gate_);
  gate_changed_.wait(guard, [&] { return *done || Aborted(); });
  return *done;
}

void TWindowChannel::WaitForAbort(std::chrono::milliseconds duration) {
  std::unique_lock<std::mutex> guard(gate_);
  gate_changed_.wait_for(guard, duration, [this] { return Aborted(); });
}

void TWindowChannel::Abort() {
  {
    std::lock_guard<std::mutex> guard(gate_);
    aborted_.store(true, std::memory_order_release);
  }
  gate_changed_.notify_all();
}

bool TWindowChannel::Aborted() const {
  return aborted_.load(std::memory_order_acquire);
}

// --- result lines and filter ----------------------------------------------------

void TWindowChannel::AppendResultLine(std::string line) {
  if (Aborted()) {
    throw EJobAborted{};
  }
  if (pending_lines_.empty()) {
    batch_started_ = Clock::now();
  }
  pending_lines_.push_back(std::move(line));
  FlushIfDue();
}

void TWindowChannel::FlushIfDue() {
  if (pending_lines_.empty()) {
    return;
  }
  if (Clock::now() - batch_started_ >= std::chrono::milliseconds(kResultBatchIntervalMs)) {
    FlushResultLines();
  }
}

void TWindowChannel::FlushResultLines() {
  if (pending_lines_.empty()) {
    return;
  }
  bool read_filter = false;
  {
    std::lock_guard<std::mutex> guard(filter_lock_);
    if (filter_known_ && !refresh_pending_) {
      read_filter = refresh_pending_ = true;
    }
  }
  PostBatch(read_filter);
}

void TWindowChannel::PostBatch(bool readFilter) {
  if (readFilter) {
    last_filter_read_ = Clock::now();
  }
  Post([this, lines = std::exchange(pending_lines_, {}), readFilter] {
    window_.AppendResultLines(lines);
    if (!readFilter) {
      return;
    }
    TFilterSettings fresh = window_.ReadFilterSettings();
    std::lock_guard<std::mutex> guard(filter_lock_);
    filter_ = std::move(fresh);
    refresh_pending_ = false;
  });
}

void TWindowChannel::PostFilterRead() {
  last_filter_read_ = Clock::now();
  Post([this] {
    TFilterSettings fresh = window_.ReadFilterSettings();
    std::lock_guard<std::mutex> guard(filter_lock_);
    filter_ = std::move(fresh);
    filter_known_ = true;
    refresh_pending_ = false;
  });
}

TFilterSettings TWindowChannel::ReadFilterSettings() {
  std::unique_lock<std::mutex> guard(filter_lock_);
  if (!filter_known_) {
    guard.unlock();
    TFilterSettings settings;
    if (!Call([&] { settings = window_.ReadFilterSettings(); })) {
      throw EJobAborted{};
    }
    SeedFilterSettings(settings);
    return settings;
  }
  TFilterSettings settings = filter_;
  const bool refresh =
      !refresh_pending_ && pending_lines_.empty() &&
      Clock::now() - last_filter_read_ >= std::chrono::milliseconds(kResultBatchIntervalMs);
  if (refresh) {
    refresh_pending_ = true;
  }
  guard.unlock();
  if (refresh) {
    PostFilterRead();
  }
  FlushIfDue();
  return settings;
}

void TWindowChannel::RefreshFilterSettings() {
  {
    std::lock_guard<std::mutex> guard(filter_lock_);
    if (refresh_pending_) {
      return;
    }
    refresh_pending_ = true;
  }
  FlushResultLines();
  PostFilterRead();
}

void TWindowChannel::SeedFilterSettings(const TFilterSettings& settings) {
  std::lock_guard<std::mutex> guard(filter_lock_);
  filter_ = settings;
  filter_known_ = true;
}

// --- the other window operations ----------------------------------------------

void TWindowChannel::AppendResultLines(const std::vector<std::string>& lines) {
  FlushResultLines();
  Post([this, lines] { window_.AppendResultLines(lines); });
}

// The status texts hold the list's lines and the servers' media types, in
// which no control byte may stand on the window (nor reach a copy of it).
void TWindowChannel::SetStatusText(const std::string& text) {
  FlushResultLines();
  Post([this, shown = PrintableText(text)] { window_.SetStatusText(shown); });
}

void TWindowChannel::SetProgressLine(const std::string& text) {
  FlushResultLines();
  Post([this, shown = PrintableText(text)] { window_.SetProgressLine(shown); });
}

std::string TWindowChannel::ReadSaveTarget() {
  FlushResultLines();
  std::string target;
  if (!Call([&] { target = window_.ReadSaveTarget(); })) {
    throw EJobAborted{};
  }
  return target;
}

void TWindowChannel::ClearSaveTarget() {
  FlushResultLines();
  Post([this] { window_.ClearSaveTarget(); });
}

void TWindowChannel::SaveResultList(const std::string& fileName) {
  FlushResultLines();
  // Carried out on the window's thread, where an error cannot reach the
  // worker; the worker never saves (the completion does).
  Post([this, fileName] { window_.SaveResultList(fileName); });
}

void TWindowChannel::EnableStart() {
  FlushResultLines();
  Post([this] { window_.EnableStart(); });
}

void TWindowChannel::ReportJobError(const std::string& text, int line) {
  FlushResultLines();
  Post([this, text, line] { window_.ReportJobError(text, line); });
}

}  // namespace movrek
