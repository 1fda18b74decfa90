// What the per-URL pipeline needs of the job that runs it, and nothing more:
// the pipeline and the job's worker thread know each other only through this.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/listing/listing_sink.h"
#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/page_outcome.h"
#include "net/http/fetch.h"
#include "net/socket/socket_types.h"

namespace movrek {

class TUrlInProgress;

class TUrlJob {
 public:
  virtual ~TUrlJob() = default;

  virtual const TJobSettings& Settings() const = 0;
  // The window stopped the job; the pipeline unwinds with EJobAborted.
  virtual bool Aborted() const = 0;

  // Where the listing writes its block; FlushResults hands over what it
  // holds back, so a finished block does not wait for the next URL.
  virtual TListingSink& ResultSink() = 0;
  virtual void FlushResults() = 0;

  // The transaction and the page file of the URL in progress, where the
  // job's other threads reach them.
  virtual TUrlInProgress& InProgress() = 0;

  // The socket status handler of every transaction of the job.
  virtual void SocketProgress(TBlockSocket* sender, THookSocketReason reason,
                              const std::string& value) = 0;
  // A new URL: the count of bytes received starts again.
  virtual void ResetReceivedBytes() = 0;
  // The fetch is over: the last transfer progress, if it was held back,
  // reaches the window now.
  virtual void ShowLastProgress() = 0;

  // Sleeps unless the settings turn pauses off; returns early on abort.
  virtual void Pause(std::chrono::milliseconds duration) = 0;

  // Sends each request of the fetch; none (the window's job): one plain
  // request per hop.
  virtual TRequestRunner RequestRunner() { return {}; }

  // The fetch is over and the page's links, if any, come next: each front
  // end shows or keeps the outcome as it must (the window's job its status
  // text, see StatusLineText).
  virtual void FetchDone(const TPageOutcome& outcome) = 0;
};

}  // namespace movrek
