#include "engine/extraction_job.h"

#include <cmath>
#include <cstdlib>
#include <exception>
#include <utility>

#include "engine/process_url.h"
#include "net/http_transaction.h"

namespace movrek {

std::string ProgressLineText(const std::string& line, int number, int total) {
  return line + " [List number: " + std::to_string(number) +
         ", Total List Items: " + std::to_string(total) + "].";
}

std::string TransferProgressText(std::int32_t received, std::int32_t download_size) {
  if (download_size == 0) return "Bytes received : " + std::to_string(received);
  // nearbyint rounds in the default mode, which sends a half to the even
  // neighbour.
  const double percent = static_cast<double>(received) / static_cast<double>(download_size) * 100.0;
  return std::to_string(static_cast<long long>(std::nearbyint(percent))) + "%";
}

// --- the window as the worker sees it -----------------------------------------

class TMyThread::TWorkerWindow final : public TWindowOperations {
 public:
  explicit TWorkerWindow(TMyThread& job) : job_(job) {}

  void AppendResultLine(const std::string& line) override {
    // Stops a long listing at once instead of writing thousands of lines
    // nobody will see.
    if (job_.Aborted()) throw EJobAborted{};
    job_.PostToWindow([&job = job_, line] { job.window_.AppendResultLine(line); });
  }
  // Answers from the settings last carried over from the window and asks
  // the window for fresh ones without waiting, so that a page of 100,000
  // links costs no round trip per link. Run seeds the settings and every URL
  // asks again before its fetch, so a page starts with what the window shows;
  // a change made during a page applies as soon as the window's thread has
  // caught up with the lines queued before the question.
  TFilterSettings ReadFilterSettings() override {
    std::unique_lock<std::mutex> guard(filter_lock_);
    if (!filter_known_) {
      guard.unlock();
      TFilterSettings settings;
      if (!job_.CallOnWindow([&] { settings = job_.window_.ReadFilterSettings(); })) {
        throw EJobAborted{};
      }
      SeedFilterSettings(settings);
      return settings;
    }
    TFilterSettings settings = filter_;
    guard.unlock();
    RefreshFilterSettings();
    return settings;
  }
  void SeedFilterSettings(const TFilterSettings& settings) {
    std::lock_guard<std::mutex> guard(filter_lock_);
    filter_ = settings;
    filter_known_ = true;
  }
  // Queues a read of the window's filter settings unless one is queued.
  void RefreshFilterSettings() {
    {
      std::lock_guard<std::mutex> guard(filter_lock_);
      if (refresh_pending_) return;
      refresh_pending_ = true;
    }
    job_.PostToWindow([this] {
      TFilterSettings fresh = job_.window_.ReadFilterSettings();
      std::lock_guard<std::mutex> guard(filter_lock_);
      filter_ = std::move(fresh);
      filter_known_ = true;
      refresh_pending_ = false;
    });
  }
  void SetStatusText(const std::string& text) override {
    job_.PostToWindow([&job = job_, text] { job.window_.SetStatusText(text); });
  }
  void SetProgressLine(const std::string& text) override {
    job_.PostToWindow([&job = job_, text] { job.window_.SetProgressLine(text); });
  }
  std::string ReadSaveTarget() override {
    std::string target;
    if (!job_.CallOnWindow([&] { target = job_.window_.ReadSaveTarget(); })) throw EJobAborted{};
    return target;
  }
  void ClearSaveTarget() override {
    job_.PostToWindow([&job = job_] { job.window_.ClearSaveTarget(); });
  }
  void SaveResultList(const std::string& file_name) override {
    // Carried out on the window's thread, where an error cannot reach the
    // worker; the worker never saves (the completion does).
    job_.PostToWindow([&job = job_, file_name] { job.window_.SaveResultList(file_name); });
  }
  void EnableStart() override {
    job_.PostToWindow([&job = job_] { job.window_.EnableStart(); });
  }
  void ReportJobError(const std::string& text, int line) override {
    job_.PostToWindow([&job = job_, text, line] { job.window_.ReportJobError(text, line); });
  }

 private:
  TMyThread& job_;
  std::mutex filter_lock_;
  TFilterSettings filter_;        // guarded by filter_lock_
  bool filter_known_ = false;     // guarded by filter_lock_
  bool refresh_pending_ = false;  // guarded by filter_lock_
};

// --- the job ---------------------------------------------------------------------

TMyThread::TMyThread(TWindowThread& window_thread, TWindowOperations& window, TJobSettings settings,
                     std::vector<std::string> url_list)
    : UrlList(std::move(url_list)),
      window_thread_(window_thread),
      window_(window),
      settings_(std::move(settings)),
      worker_window_(std::make_unique<TWorkerWindow>(*this)) {}

TMyThread::~TMyThread() = default;

TWindowOperations& TMyThread::Window() {
  return *worker_window_;
}

void TMyThread::SeedFilterSettings(const TFilterSettings& settings) {
  worker_window_->SeedFilterSettings(settings);
}

void TMyThread::PostToWindow(std::function<void()> call) {
  if (Aborted()) return;
  // The queued call holds the job, so it can still ask whether the job was
  // aborted when it finally runs, however long after the worker ended.
  window_thread_.Post([self = shared_from_this(), call = std::move(call)] {
    if (!self->Aborted()) call();
  });
}

bool TMyThread::CallOnWindow(std::function<void()> call) {
  if (Aborted()) return false;
  auto done = std::make_shared<bool>(false);  // guarded by gate_
  window_thread_.Post([self = shared_from_this(), done, call = std::move(call)] {
    // Abort runs on this thread too, so a job aborted before this point is
    // seen here, and `call` (which may refer to the waiting worker's locals,
    // gone once it stopped waiting) is not run.
    if (self->Aborted()) return;
    call();
    {
      std::lock_guard<std::mutex> guard(self->gate_);
      *done = true;
    }
    self->gate_changed_.notify_all();
  });
  std::unique_lock<std::mutex> guard(gate_);
  gate_changed_.wait(guard, [&] { return *done || Aborted(); });
  return *done;
}

bool TMyThread::AttachHttp(THttpTransaction* http) {
  std::lock_guard<std::mutex> guard(HttpLock);
  if (Aborted()) return false;
  Http = http;
  return true;
}

void TMyThread::DetachHttp() {
  std::lock_guard<std::mutex> guard(HttpLock);
  Http = nullptr;
}

void TMyThread::Pause(std::chrono::milliseconds duration) {
  if (!settings_.Pauses) return;
  std::unique_lock<std::mutex> guard(gate_);
  gate_changed_.wait_for(guard, duration, [this] { return Aborted(); });
}

void TMyThread::Abort() {
  {
    // Under HttpLock the worker can neither publish a new transaction nor
    // destroy the one published, so the stop reaches a live object, and a
    // transaction published later sees the abort instead.
    std::lock_guard<std::mutex> http_guard(HttpLock);
    {
      std::lock_guard<std::mutex> guard(gate_);
      aborted_.store(true, std::memory_order_release);
    }
    if (Http != nullptr) Http->AbortTransfer();
  }
  gate_changed_.notify_all();
}

void TMyThread::SetPageFile(const std::string& page_file) {
  std::lock_guard<std::mutex> guard(page_file_lock_);
  page_file_ = page_file;
}

std::string TMyThread::PageFile() const {
  std::lock_guard<std::mutex> guard(page_file_lock_);
  return page_file_;
}

void TMyThread::SocketProgress(TBlockSocket* /*sender*/, THookSocketReason reason,
                               const std::string& value) {
  if (reason != HR_ReadCount) return;
  // A 32-bit count, as shown; past 2 GiB it wraps instead of overflowing.
  const auto read = static_cast<std::uint32_t>(std::strtol(value.c_str(), nullptr, 10));
  ReceivedBytes = static_cast<std::int32_t>(static_cast<std::uint32_t>(ReceivedBytes) + read);
  // Http is this worker's own transaction; only this thread changes it.
  const std::int32_t download_size = Http != nullptr ? Http->DownloadSize : 0;
  StatusText = TransferProgressText(ReceivedBytes, download_size);
  CallOnWindow([this] { UpdateStatusBar(); });
}

void TMyThread::UpdateStatusBar() {
  window_.SetStatusText(StatusText);
}

void TMyThread::Execute() {
  SetStatusWindow(worker_window_.get());
  const int count = UrlList.Count();
  int index = 0;
  bool aborted = false;
  try {
    for (; index < count; ++index) {
      if (Aborted()) throw EJobAborted{};
      Window().SetProgressLine(
          ProgressLineText(UrlList.Strings(index), index + 1, UrlList.Count()));
      worker_window_->RefreshFilterSettings();
      ProcessUrl(*this, UrlList.Strings(index));
      Pause(kUrlDonePause);
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
  if (!aborted && OnTerminate) {
    PostToWindow([self = shared_from_this()] { self->OnTerminate(*self); });
  }
  finished_.store(true, std::memory_order_release);
}

// --- the window side ---------------------------------------------------------------

TExtractionWindow::TExtractionWindow(TWindowThread& window_thread, TWindowOperations& window,
                                     TJobSettings settings)
    : window_thread_(window_thread), window_(window), settings_(std::move(settings)) {}

TExtractionWindow::~TExtractionWindow() {
  // Queued calls of the job test Aborted before they touch this object.
  if (CurrentJob) CurrentJob->Abort();
  for (auto& worker : workers_) worker.thread.join();
}

bool TExtractionWindow::Button1Click(std::vector<std::string>& url_lines) {
  if (url_lines.empty()) return false;
  std::erase_if(url_lines, [](const std::string& line) { return line.size() < kShortestUrlLine; });
  Run(url_lines);
  start_enabled_ = false;
  Pause(kUrlDonePause);
  return true;
}

void TExtractionWindow::Run(const std::vector<std::string>& url_lines) {
  ReapFinishedWorkers();
  auto job = std::make_shared<TMyThread>(window_thread_, window_, settings_, url_lines);
  CurrentJob = job;
  job->OnTerminate = [this](TMyThread& finished) { MyThreadTerminate(finished); };
  job->SeedFilterSettings(window_.ReadFilterSettings());
  workers_.push_back(TWorker{job, std::thread([job] { job->Execute(); })});
}

void TExtractionWindow::MyThreadTerminate(TMyThread& job) {
  std::string save_error;
  const std::string target = window_.ReadSaveTarget();
  if (target.size() > kShortestSaveTarget) {
    try {
      window_.SaveResultList(target);
    } catch (const std::exception& error) {
      save_error = error.what();
    }
  }
  window_.EnableStart();
  start_enabled_ = true;
  window_.ClearSaveTarget();
  window_.SetProgressLine("");
  window_.SetStatusText("");
  // Told after the window is back to Idle, so a message box shows over a
  // usable window.
  if (!job.ErrorText().empty()) window_.ReportJobError(job.ErrorText(), job.ErrorLine());
  if (!save_error.empty()) window_.ReportJobError(save_error, 0);
}

void TExtractionWindow::Button5Click() {
  if (start_enabled_) return;
  if (CurrentJob) CurrentJob->Abort();
  Pause(kUrlDonePause);
  window_.EnableStart();
  start_enabled_ = true;
  window_.ClearSaveTarget();
  window_.SetProgressLine("");
  window_.SetStatusText("");
}

bool TExtractionWindow::WaitForWorkers(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ReapFinishedWorkers();
    if (workers_.empty()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void TExtractionWindow::RemoveAbandonedFiles() {
  for (const TWorker& worker : workers_) {
    if (worker.job->Finished()) continue;
    const std::string page_file = worker.job->PageFile();
    if (!page_file.empty()) RemoveTempFiles(page_file);
  }
}

void TExtractionWindow::ReapFinishedWorkers() {
  std::erase_if(workers_, [](TWorker& worker) {
    if (!worker.job->Finished()) return false;
    worker.thread.join();
    return true;
  });
}

void TExtractionWindow::Pause(std::chrono::milliseconds duration) const {
  if (settings_.Pauses) std::this_thread::sleep_for(duration);
}

}  // namespace movrek
