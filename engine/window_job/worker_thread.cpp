#include "engine/window_job/worker_thread.h"

#include <cstdlib>
#include <exception>
#include <utility>

#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/process_url.h"
#include "engine/pipeline/temp_files.h"
#include "engine/window_job/window_job_limits.h"
#include "net/http/http_transaction.h"

namespace movrek {

TMyThread::TMyThread(TCallQueue& windowThread, TWindowOperations& window, TJobSettings settings,
                     std::vector<std::string> urlList)
    : UrlList(std::move(urlList)),
      settings_(std::move(settings)),
      channel_(std::make_shared<TWindowChannel>(windowThread, window)) {}

TMyThread::~TMyThread() = default;

TWindowOperations& TMyThread::Window() {
  return *channel_;
}

TListingSink& TMyThread::ResultSink() {
  return *channel_;
}

void TMyThread::FlushResults() {
  channel_->FlushResultLines();
}

void TMyThread::SeedFilterSettings(const TFilterSettings& settings) {
  channel_->SeedFilterSettings(settings);
}

bool TMyThread::AttachHttp(THttpTransaction* http) {
  std::lock_guard<std::mutex> guard(HttpLock);
  if (Aborted()) {
    return false;
  }
  Http = http;
  return true;
}

void TMyThread::DetachHttp() {
  std::lock_guard<std::mutex> guard(HttpLock);
  Http = nullptr;
}

void TMyThread::Pause(std::chrono::milliseconds duration) {
  if (settings_.Pauses) {
    channel_->WaitForAbort(duration);
  }
}

void TMyThread::Abort() {
  // Under HttpLock the worker can neither publish a new transaction nor
  // destroy the one published, so the stop reaches a live object, and a
  // transaction published later sees the abort instead.
  std::lock_guard<std::mutex> http_guard(HttpLock);
  channel_->Abort();
  if (Http != nullptr) {
    Http->AbortTransfer();
  }
}

std::string TMyThread::ReservePageFile() {
  // Under the lock, so that a front end removing the files of an aborted
  // job either sees this one or has it never made.
  std::lock_guard<std::mutex> guard(page_file_lock_);
  if (Aborted()) {
    throw EJobAborted{};
  }
  page_file_ = MakeTempFileName(kPageFileExtension);
  return page_file_;
}

void TMyThread::ReleasePageFile() {
  std::lock_guard<std::mutex> guard(page_file_lock_);
  page_file_.clear();
}

std::string TMyThread::PageFile() const {
  std::lock_guard<std::mutex> guard(page_file_lock_);
  return page_file_;
}

void TMyThread::SocketProgress(TBlockSocket* /*sender*/, THookSocketReason reason,
                               const std::string& value) {
  if (reason != HR_ReadCount) {
    return;
  }
  // A 32-bit count, as shown; past 2 GiB it wraps instead of overflowing.
  const auto read = static_cast<std::uint32_t>(std::strtol(value.c_str(), nullptr, 10));
  ReceivedBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReceivedBytes) + read);
  // Http is this worker's own transaction; only this thread changes it.
  const std::int32_t download_size = Http != nullptr ? Http->DownloadSize : 0;
  StatusText = TransferProgressText(ReceivedBytes, download_size);
  progress_held_ = StatusText != shown_progress_;
  if (!progress_held_) {
    return;
  }
  if (!shown_progress_.empty() && std::chrono::steady_clock::now() - progress_shown_at_ <
                                      std::chrono::milliseconds(kProgressIntervalMs)) {
    return;
  }
  ShowProgress();
}

void TMyThread::ShowLastProgress() {
  if (progress_held_) {
    ShowProgress();
  }
}

void TMyThread::ShowProgress() {
  shown_progress_ = StatusText;
  progress_held_ = false;
  channel_->FlushResultLines();
  channel_->Call([this] { UpdateStatusBar(); });
  progress_shown_at_ = std::chrono::steady_clock::now();
}

void TMyThread::ResetReceivedBytes() {
  ReceivedBytes = 0;
  // Another status text stands between this URL's progress and the last.
  shown_progress_.clear();
  progress_held_ = false;
}

void TMyThread::UpdateStatusBar() {
  // Through the channel's window, on the window's thread.
  channel_->WindowOnItsThread().SetStatusText(StatusText);
}

void TMyThread::Execute() {
  SetStatusWindow(channel_.get());
  const int count = UrlList.Count();
  int index = 0;
  bool aborted = false;
  try {
    for (; index < count; ++index) {
      if (Aborted()) {
        throw EJobAborted{};
      }
      channel_->SetProgressLine(
          ProgressLineText(UrlList.Strings(index), index + 1, UrlList.Count()));
      channel_->RefreshFilterSettings();
      ProcessUrl(*this, UrlList.Strings(index));
      Pause(std::chrono::milliseconds(kUrlDonePauseMs));
    }
  } catch (const EJobAborted&) {
    aborted = true;
  } catch (const std::exception& error) {
    error_text_ = error.what();
    error_line_ = index + 1;
  } catch (...) {
    error_text_ = "Unknown error";
    error_line_ = index + 1;
  }
  SetStatusWindow(nullptr);
  UrlList.Clear();
  if (!aborted) {
    // Lines held back when an error ended the listing still come first.
    channel_->FlushResultLines();
    if (OnTerminate) {
      channel_->Post([self = shared_from_this()] { self->OnTerminate(*self); });
    }
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace movrek
