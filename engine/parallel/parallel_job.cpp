#include "engine/parallel/parallel_job.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/listing/link_listing.h"
#include "engine/parallel/connection_pool.h"
#include "engine/parallel/hop_runner.h"
#include "engine/parallel/host_limiter.h"
#include "engine/parallel/host_schedule.h"
#include "engine/parallel/line_scheduler.h"
#include "engine/parallel/ordered_output.h"
#include "engine/parallel/parallel_limits.h"
#include "engine/pipeline/job_aborted.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/process_url.h"
#include "engine/pipeline/progress_texts.h"
#include "engine/pipeline/url_in_progress.h"
#include "engine/pipeline/url_job.h"
#include "net/base/winsock_errors.h"
#include "net/http/http_transaction.h"

namespace movrek {
namespace {

class TParallelWorker;

// "30", "1.5": seconds as an option gives them.
std::string MillisecondsAsSeconds(std::chrono::milliseconds duration) {
  std::string text = std::to_string(duration.count() / 1000);
  if (const auto rest = duration.count() % 1000; rest != 0) {
    std::string fraction = std::to_string(1000 + rest).substr(1);
    fraction.erase(fraction.find_last_not_of('0') + 1);
    text += "." + fraction;
  }
  return text;
}

// What a connection carries besides its server: the proxy it goes through
// and how its certificate was checked.
std::string ProxyKeyOf(const TJobSettings& job) {
  return (job.VerifyCertificates ? " verified" : "") + ProxyKeyText(job.Proxy);
}

// The transfers a host takes at once: what its HTTP/2 connection carries
// once one runs, else --per-host. `h2` is made after the scheduler that
// asks, and asked only once workers run.
THostCapacity CapacityOf(const TParallelSettings& settings,
                         const std::unique_ptr<TH2Sessions>& h2) {
  if (!settings.Fetch.Http2 || !settings.Fetch.KeepAlive) {
    return SameCapacityForAll(settings.PerHost);
  }
  return [&h2](const std::string& host) { return h2->Capacity(host); };
}

}  // namespace

struct TParallelJob::TShared {
  TShared(TParallelSettings parallel, std::unique_ptr<TLineSource> lineSource)
      : settings(std::move(parallel)),
        source(std::move(lineSource)),
        output(kMaxLinesAhead, kMaxHeldPageBytes),
        pool(settings.PerHost, std::chrono::milliseconds(kConnectionIdleMs)),
        schedule(settings.Fetch.Delay),
        lines(*source, output, schedule, CapacityOf(settings, h2), kMaxWaitingLineBytes),
        h2(settings.Fetch.Http2 && settings.Fetch.KeepAlive
               ? std::make_unique<TH2Sessions>(settings.H2Streams, settings.PerHost,
                                               std::chrono::milliseconds(kConnectionIdleMs),
                                               [this] { lines.CapacityChanged(); })
               : nullptr),
        hop_services{settings.Fetch,
                     pool,
                     schedule,
                     ProxyKeyOf(settings.Job),
                     settings.Routes.Empty() ? nullptr : &settings.Routes,
                     h2.get()} {}

  bool Aborted() const { return aborted.load(std::memory_order_acquire); }
  bool Watched() const {
    return settings.MaxTime.count() > 0 || settings.Fetch.MinSpeedBytes > 0 ||
           settings.Fetch.KeepAlive;
  }
  void WaitForAbort(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> guard(abort_lock);
    abort_seen.wait_for(guard, duration, [this] { return Aborted(); });
  }
  void Abort();
  void RunWorker(TParallelWorker& worker);
  void WatchDeadlines();

  const TParallelSettings settings;
  const std::unique_ptr<TLineSource> source;
  TOrderedOutput output;
  TConnectionPool pool;
  THostSchedule schedule;
  TLineScheduler lines;
  // After `lines`: its connections' threads tell it of new capacities until
  // they end, and it asks for capacities only while workers run.
  const std::unique_ptr<TH2Sessions> h2;
  const THopServices hop_services;
  std::atomic<bool> aborted{false};
  std::mutex abort_lock;
  std::condition_variable abort_seen;
  std::vector<std::unique_ptr<TParallelWorker>> workers;
  std::vector<std::thread> threads;
  std::atomic<int> running{0};
};

namespace {

// One worker: the job as the per-URL pipeline sees it and the sink that
// takes its links, both for the page in progress.
class TParallelWorker final : public TUrlJob, public TListingSink, public THopContext {
 public:
  explicit TParallelWorker(TParallelJob::TShared& job)
      : job_(job), hops_(job.hop_services, *this) {}

  // Runs the line through the pipeline. False when the job was aborted.
  bool Process(std::size_t index, const TJobLine& line, TPageResult& page);
  void AbortTransfer() { in_progress_.AbortTransfer(); }
  // Stops the transfer of a line that has run out of time or receives too
  // slowly.
  void EnforceLimits(std::chrono::steady_clock::time_point now);
  // The line in transfer and its bytes; false when there is none.
  bool InFlight(TTransferInFlight& view) const;

  // TUrlJob
  const TJobSettings& Settings() const override { return job_.settings.Job; }
  bool Aborted() const override { return job_.Aborted(); }
  TListingSink& ResultSink() override { return *this; }
  void FlushResults() override {}
  TUrlInProgress& InProgress() override { return in_progress_; }
  void SocketProgress(TBlockSocket*, THookSocketReason reason, const std::string& value) override;
  void ResetReceivedBytes() override {
    received_.store(0, std::memory_order_relaxed);
    size_.store(0, std::memory_order_relaxed);
  }
  void ShowLastProgress() override {}
  void Pause(std::chrono::milliseconds duration) override {
    if (Settings().Pauses) {
      const auto start = std::chrono::steady_clock::now();
      job_.WaitForAbort(duration);
      paused_ += std::chrono::steady_clock::now() - start;
    }
  }
  void FetchDone(const TPageOutcome& outcome) override;
  TRequestRunner RequestRunner() override {
    return [this](THttpTransaction& http, const std::string& url) { return hops_.Run(http, url); };
  }

  // THopContext
  bool Sleep(std::chrono::milliseconds duration) override;
  std::chrono::steady_clock::time_point Deadline() const override;
  bool StoppedByLimit() const override {
    std::lock_guard<std::mutex> guard(limits_lock_);
    return timed_out_;
  }
  std::unique_ptr<TTCPBlockSocket> SwapSocket(THttpTransaction& http,
                                              std::unique_ptr<TTCPBlockSocket> sock) override;
  std::int64_t ReceivedBytes() const override { return received_.load(std::memory_order_relaxed); }
  void TransferBegins() override;
  void TransferEnds() override {
    std::lock_guard<std::mutex> guard(limits_lock_);
    transferring_ = false;
  }
  void Note(const std::string& line) override { page_->Messages.push_back(line); }

  // TListingSink
  void BeginBlock(const std::string& /*page_address*/, const std::string& base) override {
    page_->Listed = true;
    page_->Base = base;
  }
  void AppendLink(TListedLink link) override {
    const TParallelSettings& settings = job_.settings;
    if (settings.DropFragments) {
      // A listed address is serialised: any '#' in it starts the fragment.
      if (const std::size_t hash = link.Line.find('#'); hash != std::string::npos) {
        link.Line.resize(hash);
      }
    }
    if (settings.Filter.Passes(settings.FilterOnHref ? link.Cleaned : link.Line)) {
      page_->Links.push_back(std::move(link.Line));
      if (settings.Job.AnchorText) {
        page_->Anchors.push_back({std::move(link.Text), std::move(link.Rel)});
      }
    }
  }

 private:
  // Under limits_lock_: the transfer receives less than the low-speed rule
  // asks for; starts the rule's next window otherwise.
  bool TooSlow(std::chrono::steady_clock::time_point now);

  TParallelJob::TShared& job_;
  TPageResult* page_ = nullptr;  // the page in progress (worker only)
  // The pauses of the page in progress: no part of the page's own time.
  std::chrono::steady_clock::duration paused_{};
  THopRunner hops_;

  TUrlInProgress in_progress_{*this};
  // The limits of the transfer in progress, read by the deadline watcher.
  mutable std::mutex limits_lock_;
  std::chrono::steady_clock::time_point started_;  // guarded by limits_lock_
  bool timed_out_ = false;                         // guarded by limits_lock_
  bool too_slow_ = false;                          // guarded by limits_lock_
  // The low-speed rule's window: a request is under way, since when the
  // window runs, and received_ when it began. Guarded by limits_lock_.
  bool transferring_ = false;
  std::chrono::steady_clock::time_point window_start_;
  std::int64_t window_bytes_ = 0;

  // For progress displays on other threads: the line in transfer (its index
  // plus one, 0 for none, and its text) and its bytes so far, as the socket
  // hook sees them.
  mutable std::mutex view_lock_;
  std::size_t line_in_flight_ = 0;  // guarded by view_lock_
  std::string line_text_;           // guarded by view_lock_
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> size_{0};
};

bool TParallelWorker::Process(std::size_t index, const TJobLine& jobLine, TPageResult& page) {
  const std::string& line = jobLine.Text;
  page.Line = line;
  page.WithText = job_.settings.Job.AnchorText;
  page.InputLine = jobLine.InputLine;
  page.Address = NormaliseAddress(line);
  const std::int64_t total = job_.source->Total();
  page.Messages.push_back(ProgressLineText(line, static_cast<int>(index) + 1,
                                           total < 0 ? -1 : static_cast<int>(total)));
  page_ = &page;
  paused_ = {};
  ResetReceivedBytes();
  {
    std::lock_guard<std::mutex> guard(view_lock_);
    line_in_flight_ = index + 1;
    line_text_ = line;
  }
  const auto started = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> guard(limits_lock_);
    started_ = started;
    timed_out_ = false;
    too_slow_ = false;
    transferring_ = false;
  }
  bool aborted = false;
  try {
    ProcessUrl(*this, line);
  } catch (const EJobAborted&) {
    aborted = true;
  } catch (const std::exception& error) {
    page.JobError = error.what();
  } catch (...) {
    page.JobError = "Unknown error";
  }
  {
    std::lock_guard<std::mutex> guard(view_lock_);
    line_in_flight_ = 0;
  }
  page_ = nullptr;
  page.ElapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - started - paused_)
                       .count();
  return !aborted;
}

void TParallelWorker::SocketProgress(TBlockSocket*, THookSocketReason reason,
                                     const std::string& value) {
  if (reason != HR_ReadCount) {
    return;
  }
  received_.fetch_add(std::strtoll(value.c_str(), nullptr, 10), std::memory_order_relaxed);
  if (const THttpTransaction* http = in_progress_.Http(); http != nullptr) {
    size_.store(http->DownloadSize, std::memory_order_relaxed);
  }
}

bool TParallelWorker::InFlight(TTransferInFlight& view) const {
  {
    std::lock_guard<std::mutex> guard(view_lock_);
    if (line_in_flight_ == 0) {
      return false;
    }
    view.Index = line_in_flight_ - 1;
    view.Line = line_text_;
  }
  view.Received = received_.load(std::memory_order_relaxed);
  view.Size = size_.load(std::memory_order_relaxed);
  return true;
}

void TParallelWorker::EnforceLimits(std::chrono::steady_clock::time_point now) {
  // Only while a transaction is published; the stop comes again at every
  // tick: a socket made after the first stop (a connect after the name
  // lookup, the next hop of a redirect) forgets it.
  in_progress_.AbortTransferIf([&] {
    std::lock_guard<std::mutex> guard(limits_lock_);
    if (!timed_out_) {
      const std::chrono::milliseconds max_time = job_.settings.MaxTime;
      const bool late = max_time.count() > 0 && now - started_ >= max_time;
      const bool slow = !late && TooSlow(now);
      if (!late && !slow) {
        return false;
      }
      too_slow_ = slow;
    }
    timed_out_ = true;
    return true;
  });
}

bool TParallelWorker::TooSlow(std::chrono::steady_clock::time_point now) {
  const TFetchPolicy& policy = job_.settings.Fetch;
  if (policy.MinSpeedBytes <= 0 || !transferring_ || now - window_start_ < policy.MinSpeedWindow) {
    return false;
  }
  const std::int64_t received = received_.load(std::memory_order_relaxed);
  const bool slow = received - window_bytes_ < policy.MinSpeedBytes;
  window_start_ = now;
  window_bytes_ = received;
  return slow;
}

void TParallelWorker::TransferBegins() {
  std::lock_guard<std::mutex> guard(limits_lock_);
  transferring_ = true;
  window_start_ = std::chrono::steady_clock::now();
  window_bytes_ = received_.load(std::memory_order_relaxed);
}

bool TParallelWorker::Sleep(std::chrono::milliseconds duration) {
  const auto now = std::chrono::steady_clock::now();
  if (job_.settings.MaxTime.count() > 0) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(Deadline() - now);
    duration = std::clamp(left, std::chrono::milliseconds(0), duration);
  }
  if (duration.count() > 0) {
    job_.WaitForAbort(duration);
  }
  return !Aborted() && std::chrono::steady_clock::now() < Deadline();
}

std::chrono::steady_clock::time_point TParallelWorker::Deadline() const {
  if (job_.settings.MaxTime.count() <= 0) {
    return std::chrono::steady_clock::time_point::max();
  }
  std::lock_guard<std::mutex> guard(limits_lock_);
  return started_ + job_.settings.MaxTime;
}

std::unique_ptr<TTCPBlockSocket> TParallelWorker::SwapSocket(
    THttpTransaction& http, std::unique_ptr<TTCPBlockSocket> sock) {
  // A stop reads http.Sock under the lock of the URL in progress; the time
  // limits' lock comes second, in the order EnforceLimits takes them.
  in_progress_.WithStopsHeld([&] {
    std::lock_guard<std::mutex> guard(limits_lock_);
    // A stop meant for an earlier owner of a pooled connection is not this
    // transfer's; one of this worker's own carries over.
    sock->StopFlag.store(Aborted() || timed_out_);
    std::swap(http.Sock, sock);
  });
  return sock;
}

void TParallelWorker::FetchDone(const TPageOutcome& outcome) {
  const bool skipped = !outcome.SkippedType.empty();
  page_->StatusText = skipped ? kStatusNotHtml : OutcomeStatusText(outcome.Status);
  page_->ContentType = skipped ? outcome.SkippedType : outcome.ContentType;
  page_->Skipped = skipped;
  page_->Truncated = outcome.Truncated;
  page_->FinalUrl = outcome.FinalUrl;
  page_->HttpStatus = outcome.HttpStatus;
  page_->HttpStatusText = outcome.HttpStatusText;
  page_->Bytes = outcome.Bytes;
  page_->SocketError = outcome.SocketError;
  page_->SocketErrorText = outcome.SocketErrorText;
  page_->Reason = outcome.FailureText.empty() ? outcome.RedirectReason : outcome.FailureText;
  {
    std::lock_guard<std::mutex> guard(limits_lock_);
    if (timed_out_ && outcome.Status != TFetchStatus::Ok) {
      // The stop came from the deadline or the low-speed rule, not from the
      // peer.
      page_->SocketError = WSAETIMEDOUT;
      page_->SocketErrorText = TBlockSocket::GetErrorDesc(WSAETIMEDOUT);
      if (too_slow_) {
        const TFetchPolicy& policy = job_.settings.Fetch;
        page_->SocketErrorText += " (less than " + std::to_string(policy.MinSpeedBytes) +
                                  " bytes in " + MillisecondsAsSeconds(policy.MinSpeedWindow) +
                                  " s)";
      }
    }
  }
  if (page_->SocketError != 0) {
    page_->Reason =
        "socket error " + std::to_string(page_->SocketError) + ", " + page_->SocketErrorText;
  }
  page_->Messages.push_back(StatusLineText(outcome));
}

}  // namespace

void TParallelJob::TShared::Abort() {
  {
    std::lock_guard<std::mutex> guard(abort_lock);
    aborted.store(true, std::memory_order_release);
  }
  abort_seen.notify_all();
  lines.Close();
  output.Close();
  for (const auto& worker : workers) {
    worker->AbortTransfer();
  }
}

void TParallelJob::TShared::RunWorker(TParallelWorker& worker) {
  while (!Aborted()) {
    std::optional<TScheduledLine> taken = lines.Take();
    if (!taken) {
      break;
    }
    TJobLine& line = taken->Line;
    TPageResult page;
    const bool fetched = !line.Record;
    if (!fetched) {
      page = std::move(*line.Record);
      page.InputLine = line.InputLine;
    } else {
      const bool processed = worker.Process(taken->Index, line, page);
      lines.Finish(*taken);
      if (!processed) {
        break;
      }
    }
    if (settings.OnPageDone) {
      settings.OnPageDone(page);
    }
    // Lines before this one may not have started yet: the writer still
    // waits for them, so the worker stays for them too.
    if (!page.JobError.empty()) {
      lines.StopAfter(taken->Index);
    }
    output.Put(taken->Index, std::move(page));
    if (fetched) {
      worker.Pause(std::chrono::milliseconds(kUrlDonePauseMs));
    }
  }
  {
    // Under the lock, so that the deadline watch cannot miss the last one.
    std::lock_guard<std::mutex> guard(abort_lock);
    running.fetch_sub(1);
  }
  abort_seen.notify_all();
}

void TParallelJob::TShared::WatchDeadlines() {
  std::unique_lock<std::mutex> guard(abort_lock);
  while (!Aborted() && running.load() > 0) {
    abort_seen.wait_for(guard, std::chrono::milliseconds(kDeadlineTickMs));
    guard.unlock();
    const auto now = std::chrono::steady_clock::now();
    for (const auto& worker : workers) {
      worker->EnforceLimits(now);
    }
    pool.CloseExpired(now);
    if (h2 != nullptr) {
      h2->CloseExpired(now);
    }
    guard.lock();
  }
}

TParallelJob::TParallelJob(TParallelSettings settings, std::vector<std::string> lines)
    : TParallelJob(std::move(settings), std::make_unique<TVectorLineSource>(std::move(lines))) {}

TParallelJob::TParallelJob(TParallelSettings settings, std::unique_ptr<TLineSource> lines) {
  if (settings.Jobs < 1) {
    settings.Jobs = 1;
  }
  if (settings.Jobs > kMaxParallelJobs) {
    settings.Jobs = kMaxParallelJobs;
  }
  // The workers share what the links of the pages in transfer may take:
  // each page has its part, and the rest of the whole while others leave it.
  settings.Job.LinkBudget = std::make_shared<TLinkMemoryBudget>(settings.Job.MaxGatheredLinkBytes);
  settings.Job.MaxGatheredLinkBytes =
      std::max(kMinGatheredLinkBytesPerPage, settings.Job.MaxGatheredLinkBytes / settings.Jobs);
  shared_ = std::make_shared<TShared>(std::move(settings), std::move(lines));
}

TParallelJob::~TParallelJob() {
  Shutdown();
}

void TParallelJob::Start() {
  TShared& shared = *shared_;
  // A list known to be short needs no more workers than it has lines.
  const std::int64_t total = shared.source->Total();
  const auto jobs = static_cast<std::size_t>(shared.settings.Jobs);
  // At least one, which tells the end of an empty list.
  const std::size_t count =
      total < 0 ? jobs : std::clamp<std::size_t>(static_cast<std::size_t>(total), 1, jobs);
  for (std::size_t i = 0; i < count; ++i) {
    shared.workers.push_back(std::make_unique<TParallelWorker>(shared));
  }
  shared.running.store(static_cast<int>(count));
  for (const auto& worker : shared.workers) {
    // Each thread holds its own share of what it works on.
    shared.threads.emplace_back([keep = shared_, &worker = *worker] { keep->RunWorker(worker); });
  }
  if (shared.Watched() && count > 0) {
    shared.threads.emplace_back([keep = shared_] { keep->WatchDeadlines(); });
  }
}

std::int64_t TParallelJob::Total() const {
  return shared_->source->Total();
}

bool TParallelJob::Done() const {
  return shared_->output.Done();
}

std::optional<TPageResult> TParallelJob::Next(std::chrono::milliseconds timeout) {
  return shared_->output.Next(timeout);
}

std::vector<TTransferInFlight> TParallelJob::InFlight() const {
  std::vector<TTransferInFlight> lines;
  TTransferInFlight view;
  // The workers are made once by Start, before any other thread asks.
  for (const auto& worker : shared_->workers) {
    if (worker->InFlight(view)) {
      lines.push_back(view);
    }
  }
  std::sort(lines.begin(), lines.end(), [](const TTransferInFlight& a, const TTransferInFlight& b) {
    return a.Index < b.Index;
  });
  return lines;
}

void TParallelJob::Abort() {
  shared_->Abort();
}

void TParallelJob::Shutdown() {
  TShared& shared = *shared_;
  // Workers that still run when the job is shut down are not wanted any more.
  // Every wait of theirs, the name lookup's too, watches the abort, so the
  // joins take a few slices of 50 ms at most.
  if (shared.running.load() > 0) {
    shared.Abort();
  }
  for (std::thread& thread : shared.threads) {
    thread.join();
  }
  shared.threads.clear();
}

}  // namespace movrek
