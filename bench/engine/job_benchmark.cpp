// Both jobs against nginx on loopback, each as its front end runs it: the
// window's job on an event loop into a window that counts lines, the parallel
// job through movrek-cli's run with its output going to /dev/null. How many
// URLs a second each gets through without pauses, what the window's job
// costs per URL beyond fetching and listing the page, and how long a page of
// 100,000 links takes from its fetch to the last line written out.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/helpers/null_window.h"
#include "cli/list_run.h"
#include "cli/options.h"
#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/pipeline/network_startup.h"
#include "engine/pipeline/process_url.h"
#include "engine/window_job/event_loop.h"
#include "engine/window_job/window_job_controller.h"
#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "tests/engine/window_job/counting_thread.h"
#include "tests/helpers/no_pauses.h"
#include "tests/helpers/peers.h"

namespace {

using namespace movrek;
using Clock = std::chrono::steady_clock;
using bench::TNullWindow;

constexpr int kSmallPageLinks = 10;
constexpr int kBigPageLinks = 100000;

std::string PageWithLinks(int count) {
  std::string page = "<html><body>\n";
  for (int i = 0; i < count; ++i) page += "<a href=\"page" + std::to_string(i) + ".html\">p</a>\n";
  return page + "</body></html>\n";
}

test::NginxServer& Server() {
  static TNetworkStartup network;
  static test::NginxServer* nginx = [] {
    auto* server = new test::NginxServer();
    server->WriteFile("small.html", PageWithLinks(kSmallPageLinks));
    server->WriteFile("big.html", PageWithLinks(kBigPageLinks));
    if (!server->Start()) {
      std::fprintf(stderr, "nginx did not start\n");
      std::exit(1);
    }
    return server;
  }();
  return *nginx;
}

// The window, noting when the first and the last result lines came.
class TTimedWindow final : public TWindowOperations {
 public:
  explicit TTimedWindow(TNullWindow& window) : window_(window) {}
  void AppendResultLines(const std::vector<std::string>& lines) override {
    if (First == Clock::time_point()) First = Clock::now();
    window_.AppendResultLines(lines);
    Last = Clock::now();
  }
  TFilterSettings ReadFilterSettings() override { return window_.ReadFilterSettings(); }
  void SetStatusText(const std::string& text) override { window_.SetStatusText(text); }
  void SetProgressLine(const std::string& text) override { window_.SetProgressLine(text); }
  std::string ReadSaveTarget() override { return window_.ReadSaveTarget(); }
  void ClearSaveTarget() override { window_.ClearSaveTarget(); }
  void SaveResultList(const std::string& file) override { window_.SaveResultList(file); }
  void EnableStart() override { window_.EnableStart(); }
  void ReportJobError(const std::string& text, int line) override {
    window_.ReportJobError(text, line);
  }
  Clock::time_point First;
  Clock::time_point Last;

 private:
  TNullWindow& window_;
};

// Standard output and standard error go to /dev/null for the life of this
// object, as when movrek-cli's output is redirected there.
class TQuietOutput {
 public:
  TQuietOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    saved_out_ = ::dup(STDOUT_FILENO);
    saved_err_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
  }
  ~TQuietOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(saved_out_, STDOUT_FILENO);
    ::dup2(saved_err_, STDERR_FILENO);
    ::close(saved_out_);
    ::close(saved_err_);
  }
  TQuietOutput(const TQuietOutput&) = delete;
  TQuietOutput& operator=(const TQuietOutput&) = delete;

 private:
  int saved_out_ = -1;
  int saved_err_ = -1;
};

// One run of movrek-cli over the URLs as `movrek-cli --no-delay --jobs N`
// runs it; returns its wall time, or a negative time when the run failed.
double RunCli(const std::vector<std::string>& urls, int jobs) {
  cli::TCliOptions options;
  options.Engine.Jobs = jobs;
  options.Engine.Job.Pauses = false;
  options.Progress = cli::TProgressMode::Off;
  auto list = std::make_unique<TVectorLineSource>(urls);
  const volatile std::sig_atomic_t interrupted = 0;
  TQuietOutput quiet;
  const auto start = Clock::now();
  cli::TListRun run(options, std::move(list));
  run.Start();
  const cli::TListRun::TOutcome outcome = run.Finish(interrupted);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return outcome.ExitCode == cli::kExitCompleted ? seconds : -1;
}

// Runs one job to its completion; returns its wall time. `hand_offs`, when
// given, receives the number of calls handed to the window's thread.
double RunJob(TWindowOperations& window, const std::function<bool()>& done,
              const std::vector<std::string>& urls, long* hand_offs = nullptr) {
  TEventLoop loop;
  movrek::testing::TCountingThread thread(loop);
  TWindowJobController controller(thread, window, test::NoPauses());
  const auto start = Clock::now();
  controller.Run(urls);
  loop.RunUntil(done, std::chrono::minutes(10));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  controller.WaitForWorkers(std::chrono::minutes(1));
  if (hand_offs != nullptr) *hand_offs = thread.HandOffs.load();
  return seconds;
}

// Fetch and listing alone, as the job does them, for the same URLs: a fresh
// transaction per URL and the page listed from a file saved beforehand
// straight into a window on the same thread.
double FetchAndListOnly(const std::vector<std::string>& urls, const std::string& page_file,
                        const std::string& base) {
  TNullWindow window;
  TListingSink& sink = window;
  const auto start = Clock::now();
  for (const auto& url : urls) {
    THttpTransaction http;
    http.UserAgent = kMovrekUserAgent;
    TUrlInfo info;
    HttpGetFollow(url, &http, false, info);
    benchmark::DoNotOptimize(http.Document.size());
    ListLinks(sink, page_file, base, url, {url, "text/html"});
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_JobOverLocalUrls(benchmark::State& state) {
  test::NginxServer& nginx = Server();
  const int count = static_cast<int>(state.range(0));
  std::vector<std::string> urls;
  for (int i = 0; i < count; ++i) urls.push_back(nginx.Url("/small.html?n=" + std::to_string(i)));
  test::TempDir dir;
  const std::string page_file = dir.Write("small.html", PageWithLinks(kSmallPageLinks));

  double job_seconds = 0;
  double baseline_seconds = 0;
  for (auto _ : state) {
    TNullWindow window;
    job_seconds += RunJob(
        window, [&] { return window.Started; }, urls);
    if (!window.Error.empty() || window.Lines != count * (4 + kSmallPageLinks)) {
      state.SkipWithError(("job went wrong: " + window.Error).c_str());
      return;
    }
    baseline_seconds += FetchAndListOnly(urls, page_file, nginx.Url("/"));
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["urls_per_s"] = count * runs / job_seconds;
  state.counters["fetch_list_ms_per_url"] = baseline_seconds / runs / count * 1e3;
  state.counters["overhead_ms_per_url"] = (job_seconds - baseline_seconds) / runs / count * 1e3;
}
BENCHMARK(BM_JobOverLocalUrls)->Arg(2000)->Iterations(3)->Unit(benchmark::kMillisecond);

// The parallel job over the same URLs as movrek-cli runs it, with one worker
// and with four.
void BM_ParallelJobOverLocalUrls(benchmark::State& state) {
  test::NginxServer& nginx = Server();
  const int count = static_cast<int>(state.range(0));
  std::vector<std::string> urls;
  for (int i = 0; i < count; ++i) urls.push_back(nginx.Url("/small.html?n=" + std::to_string(i)));
  double seconds = 0;
  for (auto _ : state) {
    const double run = RunCli(urls, static_cast<int>(state.range(1)));
    if (run < 0) {
      state.SkipWithError("movrek-cli's run failed");
      return;
    }
    seconds += run;
  }
  state.counters["urls_per_s"] = count * static_cast<double>(state.iterations()) / seconds;
}
BENCHMARK(BM_ParallelJobOverLocalUrls)
    ->Args({2000, 1})
    ->Args({2000, 4})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The file work of one URL alone: a reserved name, the page written, the base
// read back from it, both files removed. Depends on the file system under
// TMPDIR (a disk-backed /tmp costs far more than a tmpfs).
void BM_TempFilesAndBase(benchmark::State& state) {
  const std::string page = PageWithLinks(kSmallPageLinks);
  for (auto _ : state) {
    const std::string path = MakeTempFileName(kPageFileExtension);
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
      std::fwrite(page.data(), 1, page.size(), file);
      std::fclose(file);
    }
    benchmark::DoNotOptimize(ChooseBase(path, "http://127.0.0.1/dir/page.html"));
    std::remove(path.c_str());
    std::remove((path.substr(0, path.size() - 4) + kNameFileExtension).c_str());
  }
}
BENCHMARK(BM_TempFilesAndBase)->Unit(benchmark::kMicrosecond);

// The window's job: from the start of the fetch to the last line in the
// window, from the first line to the last, and how many calls the worker
// handed to the window's thread for it.
void BM_HundredThousandLinksToWindow(benchmark::State& state) {
  test::NginxServer& nginx = Server();
  const std::vector<std::string> urls = {nginx.Url("/big.html")};
  double first_to_last = 0;
  long hand_offs = 0;
  for (auto _ : state) {
    TNullWindow counted;
    TTimedWindow window(counted);
    const double seconds = RunJob(
        window, [&] { return counted.Started; }, urls, &hand_offs);
    if (counted.Lines != 4 + kBigPageLinks) {
      state.SkipWithError(("job went wrong: " + counted.Error).c_str());
      return;
    }
    state.SetIterationTime(seconds);
    first_to_last += std::chrono::duration<double>(window.Last - window.First).count();
  }
  state.counters["links"] = kBigPageLinks;
  state.counters["first_to_last_ms"] =
      first_to_last / static_cast<double>(state.iterations()) * 1e3;
  state.counters["hand_offs"] = static_cast<double>(hand_offs);
}
BENCHMARK(BM_HundredThousandLinksToWindow)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// movrek-cli's run: from the start of the fetch to the last line written to
// /dev/null.
void BM_HundredThousandLinksToOutput(benchmark::State& state) {
  test::NginxServer& nginx = Server();
  const std::vector<std::string> urls = {nginx.Url("/big.html")};
  for (auto _ : state) {
    const double seconds = RunCli(urls, 1);
    if (seconds < 0) {
      state.SkipWithError("movrek-cli's run failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
  state.counters["links"] = kBigPageLinks;
}
BENCHMARK(BM_HundredThousandLinksToOutput)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
