#include "engine/pipeline/url_in_progress.h"

#include "engine/pipeline/job_aborted.h"
#include "engine/pipeline/temp_files.h"
#include "engine/pipeline/url_job.h"
#include "net/http/http_transaction.h"

namespace movrek {

bool TUrlInProgress::AttachHttp(THttpTransaction* http) {
  std::lock_guard<std::mutex> guard(http_lock_);
  if (job_.Aborted()) {
    return false;
  }
  http_ = http;
  own_http_ = http;
  return true;
}

void TUrlInProgress::DetachHttp() {
  std::lock_guard<std::mutex> guard(http_lock_);
  http_ = nullptr;
  own_http_ = nullptr;
}

void TUrlInProgress::AbortTransferIf(const std::function<bool()>& wanted) {
  // Under the lock the worker can neither publish a new transaction nor
  // destroy the one published, so the stop reaches a live object; a job
  // aborted before the lock was taken makes a later AttachHttp refuse.
  std::lock_guard<std::mutex> guard(http_lock_);
  if (http_ != nullptr && wanted()) {
    http_->AbortTransfer();
  }
}

void TUrlInProgress::WithStopsHeld(const std::function<void()>& change) {
  std::lock_guard<std::mutex> guard(http_lock_);
  change();
}

std::string TUrlInProgress::ReservePageFile() const {
  if (job_.Aborted()) {
    throw EJobAborted{};
  }
  return MakeTempFileName(kPageFileExtension);
}

}  // namespace movrek
