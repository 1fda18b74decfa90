// HTTPS download throughput: HttpGetFollow of one large file from a local
// nginx over TLS, side by side with `curl -s -k -o /dev/null` fetching the
// same address from the same server in the same run.
//
//   https_benchmark [MiB per run, default 1024] [rounds, default 3]
//
// Prints MB/s (10^6 bytes per second) of both, the best of the rounds, and
// the ratio of ours to curl's; also the processor time each client spent
// (user + system), which shows its own cost apart from the server's and
// from other load on the machine.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "net/tls/tls_openssl.h"
#include "tests/helpers/peers.h"
#include "tests/helpers/scripted_server.h"

namespace movrek {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Processor seconds of this process, or of its waited-for children.
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Seconds for one fetch with our client; negative when it failed or the body
// is not the file.
double FetchOurs(const std::string& url, std::uint64_t bytes) {
  const auto start = Clock::now();
  TUrlInfo info;
  {
    THttpTransaction http;
    HttpGetFollow(url, &http, false, info);
    const double seconds = Seconds(start);
    if (info.Status != 0 || http.ResultCode != 200 || http.Document.size() != bytes) {
      std::fprintf(stderr, "fetch failed: status %d, code %d, %zu bytes\n", info.Status,
                   http.ResultCode, http.Document.size());
      return -1;
    }
    // Spot checks of the content at the start, the middle and the end.
    for (const std::uint64_t at : {std::uint64_t{0}, bytes / 2, bytes - 4096}) {
      if (http.Document.compare(at, 4096, test::PatternBytes(4096, at)) != 0) {
        std::fprintf(stderr, "body differs at %llu\n", static_cast<unsigned long long>(at));
        return -1;
      }
    }
    return seconds;
  }
}

double FetchCurl(const std::string& url) {
  const auto start = Clock::now();
  std::string output;
  const int status =
      test::RunCommand({"curl", "-s", "-k", "-o", "/dev/null", url}, &output, 600000);
  if (status != 0) {
    std::fprintf(stderr, "curl failed (%d): %s\n", status, output.c_str());
    return -1;
  }
  return Seconds(start);
}

int Run(std::uint64_t mib, int rounds) {
  if (test::FindProgram("nginx").empty() || test::FindProgram("curl").empty()) {
    std::fprintf(stderr, "nginx and curl are needed\n");
    return 1;
  }
  if (!StartTlsPlugin()) {
    std::fprintf(stderr, "OpenSSL did not start\n");
    return 1;
  }
  const std::uint64_t bytes = mib << 20;
  test::NginxServer nginx;
  nginx.EnableTls();
  nginx.WriteLargeFile("large.bin", bytes);
  if (const auto started = nginx.Start(); !started) {
    std::fprintf(stderr, "%s\n", started.message());
    return 1;
  }
  const std::string url = nginx.TlsUrl("/large.bin");
  const auto rate = [bytes](double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0.0; };

  double best_ours = 0;
  double best_curl = 0;
  double cpu_ours = 1e9;
  double cpu_curl = 1e9;
  for (int round = 1; round <= rounds; ++round) {
    const double self_before = CpuSeconds(RUSAGE_SELF);
    const double ours = FetchOurs(url, bytes);
    const double self_spent = CpuSeconds(RUSAGE_SELF) - self_before;
    const double children_before = CpuSeconds(RUSAGE_CHILDREN);
    const double curl = FetchCurl(url);
    const double children_spent = CpuSeconds(RUSAGE_CHILDREN) - children_before;
    if (ours < 0 || curl < 0) return 1;
    best_ours = std::max(best_ours, rate(ours));
    best_curl = std::max(best_curl, rate(curl));
    cpu_ours = std::min(cpu_ours, self_spent);
    cpu_curl = std::min(cpu_curl, children_spent);
    std::printf("round %d: HttpGetFollow %.0f MB/s (%.2f s processor), curl %.0f MB/s (%.2f s)\n",
                round, rate(ours), self_spent, rate(curl), children_spent);
  }
  std::printf("\n%llu MiB over HTTPS from nginx, best of %d rounds\n",
              static_cast<unsigned long long>(mib), rounds);
  std::printf("  HttpGetFollow  %8.0f MB/s  %5.1f %% of curl, %.2f s processor\n", best_ours,
              100.0 * best_ours / best_curl, cpu_ours);
  std::printf("  curl           %8.0f MB/s  %.2f s processor\n", best_curl, cpu_curl);
  return 0;
}

}  // namespace
}  // namespace movrek

int main(int argc, char** argv) {
  const long mib = argc > 1 ? std::atol(argv[1]) : 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (mib < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: https_benchmark [MiB per run] [rounds]\n");
    return 2;
  }
  return movrek::Run(static_cast<std::uint64_t>(mib), rounds);
}
