// Writes the pages of a job as they come, in list order: the status lines
// on standard error, the page in the chosen format on standard output, and
// a copy for the save file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/link_dedupe.h"
#include "cli/live_line.h"
#include "cli/page_tally.h"
#include "cli/result_format.h"
#include "engine/parallel/page_result.h"

namespace movrek::cli {

class TPageWriter {
 public:
  // `keep_copy`: the output is also kept for Save. `quiet`: standard error
  // gets only the lines of the pages that failed.
  TPageWriter(std::FILE* out, std::FILE* err, TResultFormat format, bool unique, bool keepCopy,
              bool quiet = false);

  // Lines written from here on go above the live line (nullptr: none).
  void SetLiveLine(TLiveLine* live) { live_ = live; }

  // The next page of the job. False when its error ends the job.
  bool Write(TPageResult page);
  // Writes the copy to the file (CR LF line ends for text, LF otherwise);
  // false with the message shown when it cannot.
  bool Save(const std::string& fileName);

  void Message(const std::string& text);
  bool ReportedErrors() const { return errors_ > 0; }
  // Standard output can no longer be written (a reader such as `head` has
  // gone): the rest of the job would be lost, so the front end stops it.
  bool OutputBroken() const { return std::ferror(out_) != 0; }
  void Flush() { std::fflush(out_); }
  // What was written so far.
  TRunCounts Counts() const { return written_.Counts(); }

 private:
  void StatusLines(const TPageResult& page, TLiveLine::THold* hold);
  void ErrLine(const std::string& text, TLiveLine::THold* hold);
  // --unique: the links (and their anchors) written before are dropped.
  void KeepFirstOccurrences(TPageResult& page);

  std::FILE* out_;
  std::FILE* err_;
  TResultFormat format_;
  bool unique_;
  bool keep_copy_;
  bool quiet_;
  bool header_written_ = false;
  TLiveLine* live_ = nullptr;
  TLinkDedupe seen_;
  std::string chunk_;  // reused for the text of each page
  std::string copy_;   // what Save writes
  TPageTally written_;
  int errors_ = 0;
};

// The lines standard error gets after the status of a page that has one:
// "  reason: TEXT" for a page without links, "  http: 404 Not Found" for a
// final answer outside 2xx. Empty when there is none.
std::string FailureReasonText(const TPageResult& page);
std::string HttpStatusLine(const TPageResult& page);

}  // namespace movrek::cli
