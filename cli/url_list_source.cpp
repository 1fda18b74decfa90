#include "cli/url_list_source.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/cli_limits.h"
#include "cli/page_tally.h"

namespace movrek::cli {

struct TUrlListSource::TInput {
  TInput() = default;
  ~TInput() {
    if (Fd > STDERR_FILENO) {
      ::close(Fd);
    }
  }
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;

  std::string Name;  // the file as messages name it
  int Fd = -1;       // -1: an address given as an argument
  bool Regular = false;
  off_t Start = 0;  // where the list begins in a regular file
  off_t Size = 0;
  TUrlListReader Reader;
  bool Ended = false;
};

namespace {

using TInput = TUrlListSource::TInput;

std::unique_ptr<TInput> AddressInput(const std::string& address) {
  auto input = std::make_unique<TInput>();
  input->Name = address;
  input->Reader.Feed(address);
  input->Reader.Finish();
  input->Ended = true;
  return input;
}

std::unique_ptr<TInput> FileInput(const std::string& file) {
  auto input = std::make_unique<TInput>();
  const bool standard_input = file == "-";
  input->Name = standard_input ? "standard input" : file;
  input->Fd = standard_input ? STDIN_FILENO : ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (input->Fd < 0 || ::fstat(input->Fd, &info) != 0) {
    throw std::runtime_error("cannot open URL list '" + file + "': " + std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    throw std::runtime_error("cannot open URL list '" + file + "': " + std::strerror(EISDIR));
  }
  input->Regular = S_ISREG(info.st_mode);
  if (input->Regular) {
    input->Start = std::max<off_t>(0, ::lseek(input->Fd, 0, SEEK_CUR));
    input->Size = info.st_size;
  }
  return input;
}

// Waits until the input has bytes (or its end) to read; false when stopped
// first. A pipe or terminal may hold back for ever: the wait is sliced so
// that an abort is seen.
bool AwaitInput(int fd, const std::function<bool()>& stopped) {
  for (;;) {
    if (stopped()) {
      return false;
    }
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, kUrlListPollMs) != 0) {
      return true;  // readable, or an error that the read reports
    }
  }
}

// Lines of the regular file from `start` on, as the reader counts them.
std::int64_t CountFileLines(const TInput& input, const std::atomic<bool>& stop) {
  TUrlListReader counter(true);
  // A short list is read whole into a buffer of its size: a block of the
  // full size is a megabyte cleared for a few lines. One byte more sees the
  // end in the same read, if the file has not grown since.
  const auto left = static_cast<std::size_t>(std::max<off_t>(input.Size - input.Start, 0));
  std::string block(std::min(kUrlListCountBlockBytes, left + 1), '\0');
  for (off_t at = input.Start; !stop.load(std::memory_order_relaxed);) {
    const ssize_t got = ::pread(input.Fd, block.data(), block.size(), at);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    counter.Feed(std::string_view(block.data(), static_cast<std::size_t>(got)));
    at += got;
  }
  counter.Finish();
  return counter.Counted();
}

TJobLine JobLineOf(TListLine line) {
  TJobLine job_line;
  job_line.InputLine = line.LineNumber;
  if (!line.Reason.empty()) {
    job_line.Record = RefusedPage(line);
  }
  job_line.Text = std::move(line.Text);
  return job_line;
}

}  // namespace

TPageResult RefusedPage(const TListLine& line) {
  TPageResult page;
  page.Line = line.Shown;
  page.Address = line.Shown;
  page.InputLine = line.LineNumber;
  page.StatusText = kStatusRefused;
  page.Reason = line.Reason;
  page.Messages.push_back(
      kStatusRefused + ("URL list line " + std::to_string(line.LineNumber) + ": " + line.Reason));
  page.Messages.push_back("  line: " + line.Shown);
  return page;
}

TUrlListSource::TUrlListSource(const std::vector<TListInput>& inputs) {
  for (const TListInput& input : inputs) {
    inputs_.push_back(input.IsAddress ? AddressInput(input.Text) : FileInput(input.Text));
  }
  off_t bytes = 0;
  for (const auto& input : inputs_) {
    if (input->Fd >= 0 && !input->Regular) {
      return;  // a pipe or terminal: no total
    }
    bytes += input->Size - std::min(input->Size, input->Start);
  }
  if (bytes <= static_cast<off_t>(kUrlListCountNowBytes)) {
    CountLines();
  } else {
    counter_ = std::thread([this] { CountLines(); });
  }
}

TUrlListSource::~TUrlListSource() {
  stop_counting_.store(true);
  if (counter_.joinable()) {
    counter_.join();
  }
}

void TUrlListSource::CountLines() {
  std::int64_t total = 0;
  for (const auto& input : inputs_) {
    total += input->Fd < 0 ? 1 : CountFileLines(*input, stop_counting_);
  }
  total_.store(total, std::memory_order_relaxed);
}

bool TUrlListSource::Empty() {
  if (!peeked_) {
    peeked_ = Read([] { return false; });
  }
  return !peeked_;
}

std::optional<TJobLine> TUrlListSource::Next(const std::function<bool()>& stopped) {
  if (peeked_) {
    std::optional<TJobLine> line = std::move(peeked_);
    peeked_.reset();
    return line;
  }
  return Read(stopped);
}

std::optional<TJobLine> TUrlListSource::Read(const std::function<bool()>& stopped) {
  std::string block;
  while (current_ < inputs_.size()) {
    TInput& input = *inputs_[current_];
    if (std::optional<TListLine> line = input.Reader.Take()) {
      return JobLineOf(std::move(*line));
    }
    if (input.Ended) {
      ++current_;
      continue;
    }
    if (!input.Regular && !AwaitInput(input.Fd, stopped)) {
      return std::nullopt;
    }
    block.resize(kUrlListReadBlockBytes);
    const ssize_t got = ::read(input.Fd, block.data(), block.size());
    if (got > 0) {
      input.Reader.Feed(std::string_view(block.data(), static_cast<std::size_t>(got)));
    } else if (got == 0) {
      input.Reader.Finish();
      input.Ended = true;
    } else if (errno != EINTR && errno != EAGAIN) {
      input.Ended = true;
      TJobLine failure;
      failure.Record.emplace();
      failure.Record->Line = input.Name;
      failure.Record->JobError = "cannot read " + input.Name + ": " + std::strerror(errno);
      return failure;
    }
  }
  return std::nullopt;
}

}  // namespace movrek::cli
