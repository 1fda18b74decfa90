#include "cli/console_window.h"

#include <utility>

namespace movrek::cli {

TConsoleWindow::TConsoleWindow(std::FILE* out, std::FILE* err, TFilterSettings filter,
                               std::string saveTarget, std::vector<int> lineNumbers)
    : out_(out),
      err_(err),
      filter_(std::move(filter)),
      save_target_(std::move(saveTarget)),
      line_numbers_(std::move(lineNumbers)) {}

void TConsoleWindow::AppendResultLines(const std::vector<std::string>& lines) {
  batch_.clear();
  for (const std::string& line : lines) {
    batch_ += line;
    batch_ += '\n';
  }
  // Buffered: the event loop flushes whenever it has nothing else to do, so
  // lines still appear as they come.
  std::fwrite(batch_.data(), 1, batch_.size(), out_);
  if (!save_target_.empty()) {
    for (const std::string& line : lines) {
      results_.Add(line);
    }
  }
}

void TConsoleWindow::SetStatusText(const std::string& text) {
  if (!text.empty()) {
    Message(text);
  }
}

void TConsoleWindow::SetProgressLine(const std::string& text) {
  if (!text.empty()) {
    Message(text);
  }
}

void TConsoleWindow::SaveResultList(const std::string& fileName) {
  results_.SaveToFile(fileName);
}

void TConsoleWindow::ReportJobError(const std::string& text, int line) {
  ++errors_;
  if (line <= 0) {
    Message("movrek-cli: " + text);
    return;
  }
  const int input_line =
      line <= static_cast<int>(line_numbers_.size()) ? line_numbers_[line - 1] : line;
  Message("movrek-cli: stopped at URL list line " + std::to_string(input_line) + ": " + text);
}

void TConsoleWindow::Flush() {
  std::fflush(out_);
}

void TConsoleWindow::Message(const std::string& text) {
  // Results already printed come first, so both streams read in job order
  // when they go to the same terminal.
  std::fflush(out_);
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

}  // namespace movrek::cli
