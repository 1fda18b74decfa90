#include "engine/window_job/worker_thread.h"

#include <cstdlib>
#include <exception>
#include <utility>

#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/process_url.h"
#include "engine/window_job/window_job_limits.h"
#include "net/http/http_transaction.h"

namespace movrek {

TMyThread::TMyThread(TCallQueue& windowThread, TWindowOperations& window, TJobSettings settings,
                     std::vector<std::string> urlList)
    : UrlList(std::move(urlList)),
      settings_(std::move(settings)),
      channel_(std::make_shared<TWindowChannel>(windowThread, window)) {}

TMyThread::TMyThread(TCallQueue& windowThread, TWindowOperations& window, TJobSettings settings,
                     std::function<std::string()> listText)
    : settings_(std::move(settings)),
      channel_(std::make_shared<TWindowChannel>(windowThread, window)),
      list_text_(std::move(listText)) {}

TMyThread::~TMyThread() = default;

TListingSink& TMyThread::ResultSink() {
  return *this;
}

void TMyThread::AppendResultLine(std::string line) {
  // Every line of a block that is no link is a comment line.
  if (line.empty() || line.front() != '#') {
    ++summary_.Links;
  }
  channel_->AppendResultLine(std::move(line));
}

TFilterSettings TMyThread::ReadFilterSettings() {
  return channel_->ReadFilterSettings();
}

void TMyThread::FetchDone(const TPageOutcome& outcome) {
  const bool answered = outcome.HttpStatus >= 200 && outcome.HttpStatus < 300;
  if (outcome.Status != TFetchStatus::Ok || !outcome.FailureText.empty() || !answered) {
    ++summary_.Failed;
  }
  channel_->SetStatusText(StatusLineText(outcome));
}

void TMyThread::FlushResults() {
  channel_->FlushResultLines();
}

void TMyThread::SeedFilterSettings(const TFilterSettings& settings) {
  channel_->SeedFilterSettings(settings);
}

void TMyThread::Pause(std::chrono::milliseconds duration) {
  if (settings_.Pauses) {
    channel_->WaitForAbort(duration);
  }
}

void TMyThread::Abort() {
  // The abort comes first: a transaction published after it is refused.
  channel_->Abort();
  in_progress_.AbortTransfer();
}

void TMyThread::SocketProgress(TBlockSocket* /*sender*/, THookSocketReason reason,
                               const std::string& value) {
  if (reason != HR_ReadCount) {
    return;
  }
  // A 32-bit count, as shown; past 2 GiB it wraps instead of overflowing.
  const auto read = static_cast<std::uint32_t>(std::strtol(value.c_str(), nullptr, 10));
  ReceivedBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReceivedBytes) + read);
  // The worker's own transaction; only this thread changes it.
  const THttpTransaction* http = in_progress_.Http();
  const std::int32_t download_size = http != nullptr ? http->DownloadSize : 0;
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
  if (list_text_) {
    // Taken even after an abort: the window's list waits for the copy.
    const std::string list_text = std::exchange(list_text_, nullptr)();
    if (!Aborted()) {
      UrlList.SetText(list_text);
    }
  }
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
      ++summary_.Pages;
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
