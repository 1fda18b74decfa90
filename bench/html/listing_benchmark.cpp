// Load + scan + listing of one large saved page, the work a fetched page
// costs beside its download. The page is named by MOVREK_BENCH_PAGE.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/helpers/null_window.h"
#include "engine/listing/base_detection.h"
#include "engine/listing/link_listing.h"
#include "engine/listing/page_links.h"
#include "html/html_document.h"

namespace movrek {
namespace {

std::string PagePath() {
  const char* path = std::getenv("MOVREK_BENCH_PAGE");
  return path != nullptr ? path : "";
}

double PeakRssMegabytes() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in KiB
}

template <typename Work>
void RunOnPage(benchmark::State& state, Work&& work) {
  const std::string path = PagePath();
  struct stat info {};
  if (path.empty() || ::stat(path.c_str(), &info) != 0) {
    state.SkipWithError("set MOVREK_BENCH_PAGE to a large HTML file");
    return;
  }
  long long links = 0;
  for (auto _ : state) links = work(path);
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(info.st_size));
  state.counters["links"] = static_cast<double>(links);
  state.counters["file_MB"] = static_cast<double>(info.st_size) / 1e6;
  state.counters["peak_RSS_MB"] = PeakRssMegabytes();
}

void BM_LoadScanAndList(benchmark::State& state) {
  RunOnPage(state, [](const std::string& path) {
    bench::TNullWindow window;
    ListLinks(window, path, "http://bench.example/docs/", "http://bench.example/docs/all.html",
              {"http://bench.example/docs/all.html", "text/html"});
    return window.Lines - 4;
  });
}

// The same page read in the pieces a transfer brings and scanned as they
// come, as a fetched page is: no document text, no element list.
void BM_StreamScanAndList(benchmark::State& state) {
  RunOnPage(state, [](const std::string& path) {
    bench::TNullWindow window;
    TPageLinks links(std::int64_t{64} << 20);
    const std::string address = "http://bench.example/docs/all.html";
    links.Restart("text/html", address);
    std::string piece(256 * 1024, '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), file)) > 0;) {
      links.Feed(std::string_view(piece).substr(0, got));
    }
    std::fclose(file);
    links.List(window, path, address, address);
    return window.Lines - 4;
  });
}

void BM_ChooseBase(benchmark::State& state) {
  RunOnPage(state, [](const std::string& path) {
    benchmark::DoNotOptimize(ChooseBase(path, "http://bench.example/docs/all.html"));
    return 0LL;
  });
}

// Peak memory is per process, so each benchmark is best run on its own
// (--benchmark_filter); the listing comes first so its figure is its own.
BENCHMARK(BM_LoadScanAndList)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_StreamScanAndList)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ChooseBase)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace movrek

BENCHMARK_MAIN();
