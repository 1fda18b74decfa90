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

#include "cli/console_window.h"
#include "cli/options.h"
#include "engine/extraction_job.h"
#include "engine/network_startup.h"
#include "engine/text_list.h"
#include "engine/window_thread.h"

namespace {

using namespace movrek;

constexpr int kExitCompleted = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
// Ended by SIGINT, SIGTERM or SIGHUP: 128 + the signal, as shells report it.
constexpr int kExitSignalBase = 128;
// 128 + SIGPIPE: what a program ended by a closed pipe reports. The network
// start-up ignores SIGPIPE, so a closed output is noticed instead.
constexpr int kExitOutputClosed = 141;

// How often the loop looks at the interrupt flag while it waits.
constexpr std::chrono::milliseconds kInterruptPoll{50};
// After Ctrl+C (or SIGTERM, SIGHUP), how long the worker may take to unwind (and remove its
// temporary files) before the program leaves without it: a worker stuck in a
// connect or a long wait for data must not hold the terminal.
constexpr std::chrono::milliseconds kAbortGrace{2000};

// The signal that asked the job to stop; 0 while none did.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int signal_number) {
  gInterrupted = signal_number;
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
  for (const int signal_number : kStopSignals) sigaction(signal_number, &action, nullptr);
}

int RunJob(const cli::TCliOptions& options, std::vector<std::string> lines) {
  // Where each URL that survives Start's cleaning stands in the input.
  std::vector<int> line_numbers;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].size() >= kShortestUrlLine) line_numbers.push_back(static_cast<int>(i + 1));
  }

  TNetworkStartup network;
  TEventLoop loop;
  TFilterSettings filter;
  filter.Enabled = options.FilterEnabled;
  filter.Mode = options.FilterMode;
  filter.Keyword = options.Keyword;
  cli::TConsoleWindow window(stdout, stderr, filter, options.SaveFile, std::move(line_numbers));
  loop.OnIdle = [&window] { window.Flush(); };
  TExtractionWindow controller(loop, window, options.Job);

  InstallInterruptHandler();
  // The worker inherits this mask: the stop signals are taken by this thread
  // only and never break one of the worker's socket calls.
  sigset_t interrupt;
  sigemptyset(&interrupt);
  for (const int signal_number : kStopSignals) sigaddset(&interrupt, signal_number);
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  const bool started = controller.Button1Click(lines);
  pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
  if (!started) return UsageError(kEmptyUrlListMessage);

  auto stopped = [&] { return gInterrupted != 0 || window.OutputBroken(); };
  while (!loop.RunUntil([&] { return window.StartEnabled() || stopped(); }, kInterruptPoll)) {
  }
  if (!window.StartEnabled()) {
    controller.Button5Click();
    window.Flush();
    int code = kExitOutputClosed;
    if (gInterrupted != 0) {
      std::fputs("movrek-cli: aborted\n", stderr);
      code = kExitSignalBase + gInterrupted;
    }
    // A worker left in a name lookup must not keep the program: its files are
    // gone, and nothing else of it matters once the process ends.
    if (controller.Shutdown(kAbortGrace) > 0) std::_Exit(code);
    return code;
  }
  window.Flush();
  // The last lines may only fail on the final flush; results that never
  // reached standard output must not end in a success.
  if (window.OutputBroken()) {
    std::fputs("movrek-cli: standard output could not be written\n", stderr);
    return kExitOutputClosed;
  }
  return window.ReportedErrors() ? kExitError : kExitCompleted;
}

}  // namespace

int main(int argc, char** argv) {
  cli::TCliOptions options;
  const std::string problem =
      cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!problem.empty()) return UsageError(problem);
  if (options.Help) {
    std::fputs(cli::UsageText().c_str(), stdout);
    return kExitCompleted;
  }
  if (!options.SaveFile.empty()) {
    const std::string save_problem = cli::SaveTargetProblem(options.SaveFile);
    if (!save_problem.empty()) return UsageError(save_problem);
  }
  TTextList list;
  std::string error;
  if (!ReadUrlList(options.UrlFile, list, error)) return UsageError(error);
  try {
    return RunJob(options, list.Lines());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "movrek-cli: %s\n", e.what());
    return kExitError;
  }
}
