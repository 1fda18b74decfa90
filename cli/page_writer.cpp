#include "cli/page_writer.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include "engine/listing/text_list.h"
#include "engine/pipeline/progress_texts.h"
#include "text/printable_text.h"

namespace movrek::cli {

TPageWriter::TPageWriter(std::FILE* out, std::FILE* err, TResultFormat format, bool unique,
                         bool keepCopy, bool quiet)
    : out_(out), err_(err), format_(format), unique_(unique), keep_copy_(keepCopy), quiet_(quiet) {}

std::string FailureReasonText(const TPageResult& page) {
  // A refused line's reason is on its status line already.
  if (page.Reason.empty() || page.StatusText == kStatusRefused) {
    return std::string();
  }
  return "  reason: " + page.Reason;
}

std::string HttpStatusLine(const TPageResult& page) {
  if (page.StatusText != kStatusOk || page.HttpStatus == 0 ||
      (page.HttpStatus >= 200 && page.HttpStatus <= 299)) {
    return std::string();
  }
  std::string line = "  http: " + std::to_string(page.HttpStatus);
  if (!page.HttpStatusText.empty()) {
    line += ' ' + page.HttpStatusText;
  }
  return line;
}

void TPageWriter::StatusLines(const TPageResult& page, TLiveLine::THold* hold) {
  const bool failed = VerdictOf(page) == TPageVerdict::Failed;
  if (quiet_ && !failed) {
    return;
  }
  for (std::size_t i = 0; i < page.Messages.size(); ++i) {
    // Quiet: the first message, the "[List number: ...]" line that comes
    // before each fetch, says nothing about a failure; a refused line has
    // none.
    if (!quiet_ || i > 0 || page.StatusText == kStatusRefused) {
      ErrLine(page.Messages[i], hold);
    }
  }
  const std::string note =
      page.Truncated ? "  note: body cut at " + std::to_string(page.Bytes) + " bytes (--max-size)"
                     : std::string();
  for (const std::string& line : {HttpStatusLine(page), FailureReasonText(page), note}) {
    if (!line.empty()) {
      ErrLine(line, hold);
    }
  }
}

void TPageWriter::KeepFirstOccurrences(TPageResult& page) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < page.Links.size(); ++i) {
    if (!seen_.FirstTime(page.Links[i])) {
      continue;
    }
    if (kept != i) {
      page.Links[kept] = std::move(page.Links[i]);
      if (i < page.Anchors.size()) {
        page.Anchors[kept] = std::move(page.Anchors[i]);
      }
    }
    ++kept;
  }
  page.Links.resize(kept);
  page.Anchors.resize(std::min(kept, page.Anchors.size()));
}

bool TPageWriter::Write(TPageResult page) {
  std::optional<TLiveLine::THold> hold;
  if (live_ != nullptr) {
    hold.emplace(*live_);
  }
  TLiveLine::THold* const held = hold ? &*hold : nullptr;
  StatusLines(page, held);
  if (unique_) {
    KeepFirstOccurrences(page);
  }
  written_.Add(page, page.Links.size());
  chunk_.clear();
  const auto write_out = [this, held](std::string& text) {
    if (held != nullptr) {
      held->BeforeOut();
    }
    std::fwrite(text.data(), 1, text.size(), out_);
    text.clear();
  };
  if (!header_written_) {
    header_written_ = true;
    chunk_ = FormatHeader(format_);
    if (keep_copy_) {
      copy_ += chunk_;
    }
  }
  FormatPage(page, format_, "\n", chunk_, write_out);
  if (!chunk_.empty()) {
    write_out(chunk_);
  }
  if (keep_copy_) {
    FormatPage(page, format_, format_ == TResultFormat::Text ? "\r\n" : "\n", copy_);
  }
  if (page.JobError.empty()) {
    return true;
  }
  ++errors_;
  ErrLine("movrek-cli: stopped at URL list line " + std::to_string(page.InputLine) + ": " +
              page.JobError,
          held);
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
  std::optional<TLiveLine::THold> hold;
  if (live_ != nullptr) {
    hold.emplace(*live_);
  }
  ErrLine(text, hold ? &*hold : nullptr);
}

void TPageWriter::ErrLine(const std::string& text, TLiveLine::THold* hold) {
  if (hold != nullptr) {
    hold->BeforeErr();
  }
  // Results already printed come first, so both streams read in list order
  // when they go to the same terminal.
  std::fflush(out_);
  // Every status line holds words from outside (the list's lines, a
  // server's status text and media type): none may steer the terminal.
  // One write per line: standard error is unbuffered.
  const std::string line = PrintableText(text) + '\n';
  std::fwrite(line.data(), 1, line.size(), err_);
  std::fflush(err_);
}

}  // namespace movrek::cli
