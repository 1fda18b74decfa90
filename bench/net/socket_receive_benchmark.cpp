// Receive throughput of the blocking socket from a loopback sender, side by
// side with socat (or nc) draining the same bytes from the same sender to
// /dev/null. Two receivers are measured: a counted stream received into
// memory with ReceiveIntoStream, and ReceiveChunk until the sender closes.
//
//   socket_receive_benchmark [MiB per run, default 1024] [rounds, default 3]
//
// Prints MB/s (10^6 bytes per second) of each, the best of the rounds, their
// ratio to the peer, and the peak resident memory of the counted stream run.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/base/socket_api.h"
#include "net/base/winsock_errors.h"
#include "net/socket/tcp_block_socket.h"

extern char** environ;

namespace movrek {
namespace {

constexpr std::size_t kPatternSize = std::size_t{1} << 20;
constexpr std::int32_t kTimeoutMs = 30000;

std::string MakePattern() {
  std::string pattern(kPatternSize, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    pattern[i] = static_cast<char>((i * 131 + (i >> 11)) & 0xFF);
  }
  return pattern;
}

// Listens on a loopback port; each Serve() call accepts one connection on a
// thread, writes `bytes` bytes of the repeated pattern and closes.
class LoopbackSender {
 public:
  explicit LoopbackSender(const std::string& pattern) : pattern_(pattern) {
    TSockAddrAny address;
    FillSockAddr(address, "127.0.0.1", "0", AF_INET, IPPROTO_TCP, SOCK_STREAM, true);
    listener_ = SocketCreate(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET || SocketBind(listener_, address) != 0 ||
        SocketListen(listener_, 4) != 0) {
      std::fprintf(stderr, "cannot listen: %s\n", WinsockErrorText(SocketLastError()).c_str());
      std::exit(1);
    }
    TSockAddrAny bound;
    SocketLocalAddress(listener_, bound);
    port_ = SockAddrPort(bound);
  }
  ~LoopbackSender() {
    if (thread_.joinable()) thread_.join();
    SocketClose(listener_);
  }

  int port() const { return port_; }

  void Serve(std::uint64_t bytes) {
    if (thread_.joinable()) thread_.join();
    thread_ = std::thread([this, bytes] {
      TSockAddrAny peer;
      const TSocket connection = SocketAccept(listener_, peer);
      if (connection == INVALID_SOCKET) return;
      // The stream stays aligned with the pattern whatever each call takes.
      std::uint64_t sent = 0;
      while (sent < bytes) {
        const std::size_t offset = sent % pattern_.size();
        const auto piece =
            static_cast<int>(std::min<std::uint64_t>(pattern_.size() - offset, bytes - sent));
        const int count = SocketSend(connection, pattern_.data() + offset, piece, 0);
        if (count <= 0) break;
        sent += static_cast<std::uint64_t>(count);
      }
      SocketShutdown(connection, SHUT_WR);
      SocketClose(connection);
    });
  }

  void Wait() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  const std::string& pattern_;
  TSocket listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Seconds for the counted stream, or a negative value on failure.
double RunIntoStream(LoopbackSender& sender, const std::string& pattern, std::uint64_t bytes,
                     long* peakKiB) {
  sender.Serve(bytes);
  const auto start = std::chrono::steady_clock::now();
  double seconds = -1;
  {
    TTCPBlockSocket socket;
    socket.ConnectTo("127.0.0.1", std::to_string(sender.port()));
    std::string stream;
    socket.ReceiveIntoStream(stream, kTimeoutMs, static_cast<std::int64_t>(bytes));
    if (socket.LastErrorCode == 0 && stream.size() == bytes) seconds = Seconds(start);
    *peakKiB = PeakRssKiB();
    for (std::size_t at = 0; seconds > 0 && at < stream.size(); at += pattern.size()) {
      const std::size_t n = std::min(pattern.size(), stream.size() - at);
      if (std::memcmp(stream.data() + at, pattern.data(), n) != 0) {
        std::fprintf(stderr, "stream differs in the MiB at %zu\n", at);
        seconds = -1;
      }
    }
  }
  sender.Wait();
  return seconds;
}

double RunChunksUntilClose(LoopbackSender& sender, std::uint64_t bytes) {
  sender.Serve(bytes);
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t received = 0;
  {
    TTCPBlockSocket socket;
    socket.ConnectTo("127.0.0.1", std::to_string(sender.port()));
    while (socket.LastErrorCode == 0) received += socket.ReceiveChunk(kTimeoutMs).size();
    if (socket.LastErrorCode != WSAECONNRESET) received = 0;
  }
  const double seconds = Seconds(start);
  sender.Wait();
  return received == bytes ? seconds : -1;
}

// The peer drains the same sender into /dev/null; returns seconds or < 0.
double RunPeer(LoopbackSender& sender, std::uint64_t bytes, const std::string& peer) {
  sender.Serve(bytes);
  const std::string port = std::to_string(sender.port());
  std::vector<std::string> args;
  if (peer == "socat") {
    args = {"socat", "-u", "TCP:127.0.0.1:" + port, "GOPEN:/dev/null"};
  } else {
    args = {"sh", "-c", "nc -d 127.0.0.1 " + port + " >/dev/null"};
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    sender.Wait();
    return -1;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = Seconds(start);
  sender.Wait();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

bool HavePeer(const char* name) {
  const std::string probe = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

}  // namespace
}  // namespace movrek

int main(int argc, char** argv) {
  using namespace movrek;
  const std::uint64_t mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::uint64_t bytes = mib << 20;
  SocketStartup(0x0202);
  const std::string peer = HavePeer("socat") ? "socat" : (HavePeer("nc") ? "nc" : "");
  if (peer.empty()) {
    std::fprintf(stderr, "neither socat nor nc is installed\n");
    return 1;
  }
  const std::string pattern = MakePattern();
  LoopbackSender sender(pattern);

  double bestStream = 0, bestChunks = 0, bestPeer = 0;
  // Ratios within a round compare runs made under the same machine load.
  std::vector<double> streamRatios, chunkRatios;
  long peakKiB = 0;
  bool failed = false;
  const auto rate = [bytes](double seconds) { return seconds > 0 ? bytes / seconds / 1e6 : 0.0; };
  for (int round = 0; round < rounds; ++round) {
    long peak = 0;
    const double stream = RunIntoStream(sender, pattern, bytes, &peak);
    const double chunks = RunChunksUntilClose(sender, bytes);
    const double peerSeconds = RunPeer(sender, bytes, peer);
    failed |= stream < 0 || chunks < 0 || peerSeconds < 0;
    peakKiB = std::max(peakKiB, peak);
    bestStream = std::max(bestStream, rate(stream));
    bestChunks = std::max(bestChunks, rate(chunks));
    bestPeer = std::max(bestPeer, rate(peerSeconds));
    if (peerSeconds > 0) {
      streamRatios.push_back(100.0 * rate(stream) / rate(peerSeconds));
      chunkRatios.push_back(100.0 * rate(chunks) / rate(peerSeconds));
    }
    std::printf("round %d: ReceiveIntoStream %.0f MB/s, ReceiveChunk %.0f MB/s, %s %.0f MB/s\n",
                round + 1, rate(stream), rate(chunks), peer.c_str(), rate(peerSeconds));
  }
  const double peakMiB = static_cast<double>(peakKiB) / 1024.0;
  std::printf("\n%llu MiB per run, best of %d rounds\n", static_cast<unsigned long long>(mib),
              rounds);
  std::printf("  ReceiveIntoStream  %8.0f MB/s  %5.1f %% of %s\n", bestStream,
              100.0 * bestStream / bestPeer, peer.c_str());
  std::printf("  ReceiveChunk       %8.0f MB/s  %5.1f %% of %s\n", bestChunks,
              100.0 * bestChunks / bestPeer, peer.c_str());
  std::printf("  %-18s %8.0f MB/s\n", peer.c_str(), bestPeer);
  const auto median = [](std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  std::printf("  median of the per-round ratios: ReceiveIntoStream %.1f %%, ReceiveChunk %.1f %%\n",
              median(streamRatios), median(chunkRatios));
  std::printf("  peak resident memory %.0f MiB (stream %llu MiB + %.0f MiB)\n", peakMiB,
              static_cast<unsigned long long>(mib), peakMiB - static_cast<double>(mib));
  return failed ? 1 : 0;
}
