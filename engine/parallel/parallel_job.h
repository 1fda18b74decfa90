// A job that runs several lines of the URL list at once, each through the
// same per-URL pipeline as the window's job, and hands the pages back as
// records in the order of the list. The window's job stays one URL at a
// time; this is for front ends that fetch long lists.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/listing/link_filter.h"
#include "engine/parallel/fetch_policy.h"
#include "engine/parallel/line_source.h"
#include "engine/parallel/page_result.h"
#include "engine/parallel/proxy_routes.h"
#include "engine/pipeline/job_settings.h"

namespace movrek {

struct TParallelSettings {
  TJobSettings Job;
  int Jobs = 1;     // lines in flight at once
  int PerHost = 4;  // transfers to one host at once
  // Streams on the one HTTP/2 connection to a host (and so its transfers at
  // once), when the server takes that many.
  int H2Streams = kDefaultH2Streams;
  // Overall time allowed for the fetch of one line; zero: no limit beyond
  // the time-out of each read.
  std::chrono::milliseconds MaxTime{0};
  // Connections, retries, pauses per host and the low-speed rule.
  TFetchPolicy Fetch;
  TLinkFilter Filter;
  // Proxies by scheme and host; when empty, Job.Proxy serves every address.
  TProxyRoutes Routes;
  // The filter judges the href as the page writes it (as the window does),
  // not the address listed for it.
  bool FilterOnHref = false;
  // Each listed address loses its "#fragment" before the filter sees it.
  bool DropFragments = false;
  // Called on a worker's thread as each page is done, before it waits for
  // its turn in the list order: a front end's running counts.
  std::function<void(const TPageResult&)> OnPageDone;
};

// A line whose transfer is in progress, as a progress display shows it.
struct TTransferInFlight {
  std::size_t Index = 0;  // 0-based line of the job
  std::string Line;
  std::int64_t Received = 0;  // bytes read from the network for the line so far
  std::int64_t Size = 0;      // announced length of the body, 0 when unknown
};

class TParallelJob {
 public:
  TParallelJob(TParallelSettings settings, std::vector<std::string> lines);
  // The lines are read from `lines` as the workers get to them.
  TParallelJob(TParallelSettings settings, std::unique_ptr<TLineSource> lines);
  // Aborts what still runs and waits for it.
  ~TParallelJob();
  TParallelJob(const TParallelJob&) = delete;
  TParallelJob& operator=(const TParallelJob&) = delete;

  // Starts the workers (they inherit the calling thread's signal mask).
  void Start();

  // The lines of the list, -1 while that is not known (see TLineSource).
  std::int64_t Total() const;
  // Every page of the list was handed back by Next.
  bool Done() const;
  // The next page in list order, or nothing when it is not done within
  // `timeout`. A page whose JobError is set is the last one: the job stops
  // taking lines after it.
  std::optional<TPageResult> Next(std::chrono::milliseconds timeout);
  // The lines in transfer now, in list order; any thread, cheap enough to
  // ask several times a second.
  std::vector<TTransferInFlight> InFlight() const;

  // Stops every transfer in flight; any thread. Pages not yet handed back
  // are dropped and their temporary files removed as the workers unwind.
  void Abort();
  // Aborts the workers still running and waits for them all to end (a stop
  // reaches every wait of theirs within a slice, name lookups included).
  void Shutdown();

  struct TShared;

 private:
  std::shared_ptr<TShared> shared_;
};

}  // namespace movrek
