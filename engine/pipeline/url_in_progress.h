// The transaction and the page file of the URL a job's worker has in
// progress, as an abort meets them: the transaction is published under a
// lock that also looks at the job's abort, so a stop either reaches a live
// object or the object is never published; an aborted job makes no page file.
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
  // Runs `change` under the lock a stop takes, so that a stop never meets
  // the published transaction while its connection is being exchanged.
  // Worker only.
  void WithStopsHeld(const std::function<void()>& change);

  // Makes the URL's page file name (its name file goes with it). Throws
  // EJobAborted when the job was aborted, EPageFileError when no name can be
  // had. Worker only.
  std::string ReservePageFile() const;

 private:
  const TUrlJob& job_;
  std::mutex http_lock_;
  THttpTransaction* http_ = nullptr;      // guarded by http_lock_
  THttpTransaction* own_http_ = nullptr;  // the same, read by the worker only
};

}  // namespace movrek
