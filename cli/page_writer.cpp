#include "cli/page_writer.h"

#include <exception>
#include <utility>

#include "engine/text_list.h"

namespace movrek::cli {

TPageWriter::TPageWriter(std::FILE* out, std::FILE* err, TResultFormat format, bool unique,
                         bool keepCopy, std::vector<int> lineNumbers)
    : out_(out),
      err_(err),
      format_(format),
      unique_(unique),
      keep_copy_(keepCopy),
      line_numbers_(std::move(lineNumbers)) {}

std::string FailureReasonText(const TPageResult& page) {
  if (!page.FailureText.empty()) {
    return "  reason: " + page.FailureText;
  }
  if (page.SocketError == 0) {
    return std::string();
  }
  return "  reason: socket error " + std::to_string(page.SocketError) + ", " + page.SocketErrorText;
}

bool TPageWriter::Write(TPageResult page, int number) {
  for (const std::string& text : page.Messages) {
    Message(text);
  }
  const std::string reason = FailureReasonText(page);
  if (!reason.empty()) {
    Message(reason);
  }
  if (page.Truncated) {
    Message("  note: body cut at " + std::to_string(page.Bytes) + " bytes (--max-size)");
  }
  if (unique_) {
    std::erase_if(page.Links, [this](const std::string& link) { return !seen_.FirstTime(link); });
  }
  chunk_.clear();
  FormatPage(page, format_, "\n", chunk_);
  std::fwrite(chunk_.data(), 1, chunk_.size(), out_);
  if (keep_copy_) {
    FormatPage(page, format_, format_ == TResultFormat::Text ? "\r\n" : "\n", copy_);
  }
  if (page.JobError.empty()) {
    return true;
  }
  ++errors_;
  const int input_line =
      number <= static_cast<int>(line_numbers_.size()) ? line_numbers_[number - 1] : number;
  Message("movrek-cli: stopped at URL list line " + std::to_string(input_line) + ": " +
          page.JobError);
  return false;
}

bool TPageWriter::Save(const std::string& fileName) {
  try {
    WriteTextFile(fileName, copy_);
    return true;
  } catch (const std::exception& error) {
    ++errors_;
    Message(std::string("movrek-cli: ") + error.what());
    return false;
  }
}

void TPageWriter::Message(const std::string& text) {
  // Results already printed come first, so both streams read in list order
  // when they go to the same terminal.
  std::fflush(out_);
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

}  // namespace movrek::cli
