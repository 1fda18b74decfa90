// What the per-URL pipeline needs of the job that runs it, and nothing more:
// the pipeline and the job's worker thread know each other only through this.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/listing/listing_sink.h"
#include "engine/pipeline/fetch_outcome.h"
#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/window_operations.h"
#include "net/http/fetch.h"
#include "net/socket/socket_types.h"

namespace movrek {

class THttpTransaction;

class TUrlJob {
 public:
  virtual ~TUrlJob() = default;

  virtual const TJobSettings& Settings() const = 0;
  // The window stopped the job; the pipeline unwinds with EJobAborted.
  virtual bool Aborted() const = 0;

  // The window as the worker may change it (status texts).
  virtual TWindowOperations& Window() = 0;
  // Where the listing writes its block; FlushResults hands over what it
  // holds back, so a finished block does not wait for the next URL.
  virtual TListingSink& ResultSink() = 0;
  virtual void FlushResults() = 0;

  // Publishes the transaction of the URL in progress so that Abort can stop
  // it. False (and nothing published) when the job was aborted already.
  virtual bool AttachHttp(THttpTransaction* http) = 0;
  // Withdraws it; once this returns, Abort can no longer reach the object.
  virtual void DetachHttp() = 0;

  // The socket status handler of every transaction of the job.
  virtual void SocketProgress(TBlockSocket* sender, THookSocketReason reason,
                              const std::string& value) = 0;
  // A new URL: the count of bytes received starts again.
  virtual void ResetReceivedBytes() = 0;
  // The fetch is over: the last transfer progress, if it was held back,
  // reaches the window now.
  virtual void ShowLastProgress() = 0;

  // Makes the URL's page file (with its name file) and makes it known to
  // the job, so that a front end that leaves without the worker can remove
  // it. Throws EJobAborted when the job was aborted, EPageFileError when no
  // file can be had.
  virtual std::string ReservePageFile() = 0;
  // The page file is gone.
  virtual void ReleasePageFile() = 0;

  // Sleeps unless the settings turn pauses off; returns early on abort.
  virtual void Pause(std::chrono::milliseconds duration) = 0;

  // Sends each request of the fetch; none (the window's job): one plain
  // request per hop.
  virtual TRequestRunner RequestRunner() { return {}; }

  // The fetch is over, before its status text is shown. The window's job
  // has no use for it.
  virtual void FetchDone(const TFetchOutcome& /*outcome*/) {}
};

}  // namespace movrek
