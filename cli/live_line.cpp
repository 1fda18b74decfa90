#include "cli/live_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "cli/cli_limits.h"
#include "cli/run_texts.h"

namespace movrek::cli {
namespace {

// Carriage return to the line's start, and erase to the end of the line
// (ECMA-48 EL).
constexpr char kToLineStart[] = "\r";
constexpr char kEraseToEnd[] = "\x1b[K";

}  // namespace

int TerminalColumns(std::FILE* file) {
  winsize size{};
  if (::ioctl(::fileno(file), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return kDefaultTerminalColumns;
}

TLiveLine::TLiveLine(std::FILE* out, std::FILE* err, bool outIsTerminal,
                     std::function<std::string()> compose)
    : out_(out), err_(err), out_is_terminal_(outIsTerminal), compose_(std::move(compose)) {}

TLiveLine::~TLiveLine() {
  Stop();
}

void TLiveLine::Start() {
  thread_ = std::thread([this] { Run(); });
}

void TLiveLine::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
  std::lock_guard<std::mutex> guard(lock_);
  Wipe();
  was_shown_ = false;
}

void TLiveLine::Run() {
  std::unique_lock<std::mutex> guard(lock_);
  while (!stopping_) {
    guard.unlock();
    // Composed outside the lock: lines that stay are never kept waiting for
    // it. The last columns stay free: some terminals wrap on reaching the
    // last one, and the "^C" the terminal echoes must not wrap either, or
    // the wipe would miss the line above.
    const std::string text =
        FitToColumns(compose_(), TerminalColumns(err_) - kLiveLineSpareColumns);
    guard.lock();
    if (stopping_) {
      break;
    }
    Draw(text);
    wake_.wait_for(guard, std::chrono::milliseconds(kLiveLineIntervalMs),
                   [this] { return stopping_; });
  }
}

void TLiveLine::Draw(const std::string& text) {
  const std::string bytes = kToLineStart + text + kEraseToEnd;
  std::fwrite(bytes.data(), 1, bytes.size(), err_);
  std::fflush(err_);
  shown_ = true;
  last_ = text;
}

void TLiveLine::Wipe() {
  if (!shown_) {
    return;
  }
  const std::string bytes = std::string(kToLineStart) + kEraseToEnd;
  std::fwrite(bytes.data(), 1, bytes.size(), err_);
  std::fflush(err_);
  shown_ = false;
  was_shown_ = true;
}

TLiveLine::THold::~THold() {
  if (!line_.was_shown_ || line_.stopping_) {
    return;
  }
  line_.was_shown_ = false;
  if (line_.out_is_terminal_) {
    std::fflush(line_.out_);
  }
  // What was shown comes back at once, below the new lines; the next tick
  // brings it up to date.
  line_.Draw(line_.last_);
}

}  // namespace movrek::cli
