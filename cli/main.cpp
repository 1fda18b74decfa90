// movrek-cli: runs the extraction job without a window.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "cli/list_run.h"
#include "cli/options.h"
#include "cli/proxy_environment.h"
#include "cli/url_list_source.h"
#include "engine/pipeline/network_startup.h"
#include "engine/pipeline/progress_texts.h"

namespace {

using namespace movrek;

constexpr int kExitUsage = 2;

// The signal that asked the job to stop; 0 while none did.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int signalNumber) {
  gInterrupted = signalNumber;
}

// The signals that end the program like Ctrl+C: the job is aborted and its
// temporary files removed instead of the process dying with them in place.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

int UsageError(const std::string& what) {
  std::fprintf(stderr, "movrek-cli: %s\nTry 'movrek-cli --help' for more information.\n",
               what.c_str());
  return kExitUsage;
}

// Standard output goes to the -o file from here on, so that the file gets
// exactly its bytes as they come. Returns what keeps it from that.
std::string RedirectOutput(const std::string& file) {
  if (file == "-") {
    return std::string();
  }
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    return "cannot write '" + file + "': " + std::strerror(errno);
  }
  std::fflush(stdout);
  const bool moved = ::dup2(fd, STDOUT_FILENO) >= 0;
  const int error = errno;
  ::close(fd);
  return moved ? std::string() : "cannot write '" + file + "': " + std::strerror(error);
}

// The environment's proxies serve only when no proxy option is given.
std::string ReadProxyEnvironment(cli::TCliOptions& options) {
  const TProxySettings& proxy = options.Engine.Job.Proxy;
  if (!proxy.ProxyHost.empty() || !proxy.SocksIP.empty()) {
    return std::string();
  }
  return cli::ProxyRoutesFromEnvironment([](const char* name) { return std::getenv(name); },
                                         options.Engine.Routes);
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kStopSignals) {
    sigaction(signal_number, &action, nullptr);
  }
}

int RunJob(cli::TCliOptions& options, std::unique_ptr<cli::TUrlListSource> list) {
  TNetworkStartup network;
  cli::TListRun run(options, std::move(list));

  InstallInterruptHandler();
  // The workers inherit this mask: the stop signals are taken by this thread
  // only and never break one of the workers' socket calls.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  for (const int signal_number : kStopSignals) {
    sigaddset(&interrupt, signal_number);
  }
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  run.Start();
  pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);

  return run.Finish(gInterrupted).ExitCode;
}

}  // namespace

int main(int argc, char** argv) {
  cli::TCliOptions options;
  const std::string problem =
      cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!problem.empty()) {
    return UsageError(problem);
  }
  if (options.Help) {
    std::fputs(cli::UsageText().c_str(), stdout);
    return cli::kExitCompleted;
  }
  if (options.Version) {
    std::printf("movrek-cli %s\n", cli::kCliVersion);
    return cli::kExitCompleted;
  }
  if (!options.SaveFile.empty()) {
    const std::string save_problem = cli::SaveTargetProblem(options.SaveFile);
    if (!save_problem.empty()) {
      return UsageError(save_problem);
    }
  }
  if (const std::string proxy_problem = ReadProxyEnvironment(options); !proxy_problem.empty()) {
    return UsageError(proxy_problem);
  }
  if (!options.OutputFile.empty()) {
    if (const std::string output_problem = RedirectOutput(options.OutputFile);
        !output_problem.empty()) {
      return UsageError(output_problem);
    }
  }
  if (options.Inputs.empty()) {
    options.Inputs.push_back({false, "-"});
    if (::isatty(STDIN_FILENO) == 1) {
      std::fputs("reading addresses from standard input; end with Ctrl+D\n", stderr);
    }
  }
  std::unique_ptr<cli::TUrlListSource> list;
  try {
    list = std::make_unique<cli::TUrlListSource>(options.Inputs);
  } catch (const std::exception& e) {
    return UsageError(e.what());
  }
  if (list->Empty()) {
    return UsageError(kEmptyUrlListMessage);
  }
  try {
    return RunJob(options, std::move(list));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "movrek-cli: %s\n", e.what());
    return cli::kExitError;
  }
}
