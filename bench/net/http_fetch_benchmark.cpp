// Page fetch throughput from a local nginx: HttpGetFollow holding the body in
// memory, beside curl writing the same address to /dev/null over HTTP/1.0.
//
//   http_fetch_benchmark [MiB, default 1024] [rounds, default 3]
//
// Prints MB/s (10^6 bytes per second, best of the rounds) of both, their
// ratio, and the peak resident memory of each against the body size.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/http/fetch.h"
#include "net/http/http_transaction.h"
#include "tests/helpers/peers.h"

extern char** environ;

namespace movrek {
namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// One fetch; returns the seconds it took, 0 when the page did not arrive whole.
double FetchOnce(const std::string& url, size_t size) {
  THttpTransaction http;
  TUrlInfo info;
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  const auto start = Clock::now();
  HttpGetFollow(url, &http, false, info);
  const double seconds = Seconds(Clock::now() - start);
  getrusage(RUSAGE_SELF, &after);
  const auto cpu = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  std::printf("  fetch %.3f s wall, %.3f s user, %.3f s system\n", seconds,
              cpu(after.ru_utime) - cpu(before.ru_utime),
              cpu(after.ru_stime) - cpu(before.ru_stime));
  if (info.Status != 0 || http.ResultCode != 200 || http.Document.size() != size) {
    std::fprintf(stderr, "fetch failed: status %d, code %d, %zu bytes, %s\n", info.Status,
                 http.ResultCode, http.Document.size(), http.Sock->LastErrorText.c_str());
    return 0;
  }
  return seconds;
}

// Runs curl; returns the seconds it took (0 on failure) and its peak RSS in KiB.
double CurlOnce(const std::string& curl, const std::string& url, long* peak_kib) {
  std::vector<std::string> args = {curl, "-s", "-o", "/dev/null", "--http1.0", url};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, curl.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return 0;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    return 0;
  }
  *peak_kib = std::max(*peak_kib, usage.ru_maxrss);
  const double seconds = Seconds(Clock::now() - start);
  const auto cpu = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  std::printf("  curl  %.3f s wall, %.3f s user, %.3f s system\n", seconds, cpu(usage.ru_utime),
              cpu(usage.ru_stime));
  return seconds;
}

int Run(size_t mib, int rounds) {
  const std::string curl = test::FindProgram("curl");
  if (test::FindProgram("nginx").empty() || curl.empty()) {
    std::fprintf(stderr, "nginx and curl are needed\n");
    return 1;
  }
  const size_t size = mib << 20;
  test::NginxServer nginx;
  nginx.WriteLargeFile("body.bin", size);
  if (!nginx.Start()) {
    std::fprintf(stderr, "nginx did not start\n");
    return 1;
  }
  const std::string url = nginx.Url("/body.bin");

  // curl first: it starts from this process's memory image, whose peak the
  // spawned child would otherwise inherit in its own figure; and this
  // process's peak stays the fetch's own.
  double theirs = 1e9;
  long curl_peak_kib = 0;
  for (int i = 0; i < rounds; ++i) {
    const double s = CurlOnce(curl, url, &curl_peak_kib);
    if (s == 0) {
      std::fprintf(stderr, "curl failed\n");
      return 1;
    }
    theirs = std::min(theirs, s);
  }

  double ours = 1e9;
  for (int i = 0; i < rounds; ++i) {
    const double s = FetchOnce(url, size);
    if (s == 0) return 1;
    ours = std::min(ours, s);
  }
  rusage self{};
  getrusage(RUSAGE_SELF, &self);

  const double mb = static_cast<double>(size) / 1e6;
  const double body_mib = static_cast<double>(size) / (1 << 20);
  const double peak_mib = static_cast<double>(self.ru_maxrss) / 1024;
  std::printf("body            %.0f MiB, best of %d rounds\n", body_mib, rounds);
  std::printf("HttpGetFollow   %8.1f MB/s   peak RSS %7.1f MiB (limit %.1f MiB)\n", mb / ours,
              peak_mib, 1.25 * body_mib + 64);
  std::printf("curl --http1.0  %8.1f MB/s   peak RSS %7.1f MiB\n", mb / theirs,
              static_cast<double>(curl_peak_kib) / 1024);
  std::printf("ratio           %8.1f %% of curl\n", 100 * theirs / ours);
  return 0;
}

}  // namespace
}  // namespace movrek

int main(int argc, char** argv) {
  const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  return movrek::Run(mib == 0 ? 1024 : mib, rounds < 1 ? 1 : rounds);
}
