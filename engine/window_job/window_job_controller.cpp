#include "engine/window_job/window_job_controller.h"

#include <exception>
#include <utility>

#include "engine/pipeline/pipeline_limits.h"
#include "engine/window_job/window_job_limits.h"

namespace movrek {

TWindowJobController::TWindowJobController(TCallQueue& windowThread, TWindowOperations& window,
                                           TJobSettings settings)
    : window_thread_(windowThread), window_(window), settings_(std::move(settings)) {}

TWindowJobController::~TWindowJobController() {
  Shutdown();
}

bool TWindowJobController::Button1Click(std::vector<std::string>& urlLines) {
  if (urlLines.empty()) {
    return false;
  }
  std::erase_if(urlLines, [](const std::string& line) { return line.size() < kMinUrlLineBytes; });
  Run(urlLines);
  start_enabled_ = false;
  return true;
}

void TWindowJobController::Button1ClickOnText(std::function<std::string()> listText) {
  Launch(std::make_shared<TMyThread>(window_thread_, window_, settings_, std::move(listText)));
  start_enabled_ = false;
}

void TWindowJobController::Run(const std::vector<std::string>& urlLines) {
  Launch(std::make_shared<TMyThread>(window_thread_, window_, settings_, urlLines));
}

void TWindowJobController::Launch(const std::shared_ptr<TMyThread>& job) {
  ReapFinishedWorkers();
  CurrentJob = job;
  job->OnTerminate = [this](TMyThread& finished) { MyThreadTerminate(finished); };
  job->SeedFilterSettings(window_.ReadFilterSettings());
  workers_.push_back(TWorker{job, std::thread([job] { job->Execute(); })});
}

void TWindowJobController::MyThreadTerminate(TMyThread& job) {
  std::string save_error;
  const std::string target = window_.ReadSaveTarget();
  if (target.size() > kMaxIgnoredSaveTargetBytes) {
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
  window_.ShowJobSummary(job.Summary());
  // Told after the window is back to Idle, so a message box shows over a
  // usable window.
  if (!job.ErrorText().empty()) {
    window_.ReportJobError(job.ErrorText(), job.ErrorLine());
  }
  if (!save_error.empty()) {
    window_.ReportJobError(save_error, 0);
  }
}

void TWindowJobController::Button5Click() {
  if (start_enabled_) {
    return;
  }
  if (CurrentJob) {
    CurrentJob->Abort();
  }
  Pause(std::chrono::milliseconds(kUrlDonePauseMs));
  window_.EnableStart();
  start_enabled_ = true;
  window_.ClearSaveTarget();
  window_.SetProgressLine("");
  window_.SetStatusText("");
}

bool TWindowJobController::WaitForWorkers(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    ReapFinishedWorkers();
    if (workers_.empty()) {
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void TWindowJobController::Shutdown() {
  // Every job but the current one was aborted or has completed already.
  if (CurrentJob && !CurrentJob->Finished()) {
    CurrentJob->Abort();
  }
  // An aborted job queues nothing for the window any more, and a stop
  // reaches every wait of a worker (the name lookup too) within a slice.
  for (TWorker& worker : workers_) {
    worker.thread.join();
  }
  workers_.clear();
}

void TWindowJobController::ReapFinishedWorkers() {
  std::erase_if(workers_, [](TWorker& worker) {
    if (!worker.job->Finished()) {
      return false;
    }
    worker.thread.join();
    return true;
  });
}

void TWindowJobController::Pause(std::chrono::milliseconds duration) const {
  if (settings_.Pauses) {
    std::this_thread::sleep_for(duration);
  }
}

}  // namespace movrek
