// movrek-cli: runs the extraction job without a window.
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/list_run.h"
#include "cli/options.h"
#include "engine/extraction_window.h"
#include "engine/network_startup.h"
#include "engine/text_list.h"

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

// Reads the URL list; false (with the reason in `error`) when it cannot.
bool ReadUrlList(const std::string& file, TTextList& list, std::string& error) {
  if (!file.empty() && file != "-") {
    try {
      list.LoadFromFile(file);
      return true;
    } catch (const std::exception& e) {
      error = e.what();
      return false;
    }
  }
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (std::cin.bad()) {
    error = "cannot read standard input";
    return false;
  }
  list.SetText(text);
  return true;
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kStopSignals) {
    sigaction(signal_number, &action, nullptr);
  }
}

int RunJob(cli::TCliOptions& options, std::vector<std::string> lines) {
  if (lines.empty()) {
    return UsageError(kEmptyUrlListMessage);
  }
  TNetworkStartup network;
  cli::TListRun run(options, std::move(lines));

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

  const cli::TListRun::TOutcome outcome = run.Finish(gInterrupted);
  // A worker left in a name lookup must not keep the program: its files are
  // gone, and nothing else of it matters once the process ends.
  if (outcome.WorkersLeft) {
    std::_Exit(outcome.ExitCode);
  }
  return outcome.ExitCode;
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
  if (!options.SaveFile.empty()) {
    const std::string save_problem = cli::SaveTargetProblem(options.SaveFile);
    if (!save_problem.empty()) {
      return UsageError(save_problem);
    }
  }
  TTextList list;
  std::string error;
  if (!ReadUrlList(options.UrlFile, list, error)) {
    return UsageError(error);
  }
  try {
    return RunJob(options, list.Lines());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "movrek-cli: %s\n", e.what());
    return cli::kExitError;
  }
}
