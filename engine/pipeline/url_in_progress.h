// The transaction and the page file of the URL a job's worker has in
// progress, as other threads reach them: an abort stops the transaction, a
// front end that leaves without the worker removes the page file. Each is
// published under a lock that also looks at the job's abort, so a stop or a
// removal either reaches a live object or the object is never made.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace movrek {

class THttpTransaction;
class TUrlJob;

class TUrlInProgress {
 public:
  explicit TUrlInProgress(const TUrlJob& job) : job_(job) {}
  TUrlInProgress(const TUrlInProgress&) = delete;
  TUrlInProgress& operator=(const TUrlInProgress&) = delete;

  // Publishes the transaction so that AbortTransfer can stop it. False (and
  // nothing published) when the job was aborted already. Worker only.
  bool AttachHttp(THttpTransaction* http);
  // Withdraws it; once this returns, no other thread can reach the object.
  void DetachHttp();
  // The published transaction, or none. Worker only: it is the only writer.
  THttpTransaction* Http() const { return own_http_; }

  // Stops the published transaction, if any. Any thread.
  void AbortTransfer() {
    AbortTransferIf([] { return true; });
  }
  // Stops it when `wanted` says so; `wanted` runs under the lock, only while
  // a transaction is published, so that it may look at the transfer safely.
  void AbortTransferIf(const std::function<bool()>& wanted);

  // Makes the URL's page file name (its name file goes with it). Throws
  // EJobAborted when the job was aborted, EPageFileError when no name can be
  // had. Worker only.
  std::string ReservePageFile();
  // The page file is gone.
  void ReleasePageFile();
  // Removes the page file of the URL in progress, for a front end that
  // leaves without waiting for the worker; the job must be aborted first, so
  // that no new page file is made. Any thread.
  void RemovePageFile();

 private:
  const TUrlJob& job_;
  std::mutex http_lock_;
  THttpTransaction* http_ = nullptr;      // guarded by http_lock_
  THttpTransaction* own_http_ = nullptr;  // the same, read by the worker only
  std::mutex page_file_lock_;
  std::string page_file_;  // guarded by page_file_lock_
};

}  // namespace movrek
