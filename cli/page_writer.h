// Writes the pages of a job as they come, in list order: the status lines
// on standard error, the page in the chosen format on standard output, and
// a copy for the save file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/link_dedupe.h"
#include "engine/page_result.h"
#include "engine/result_format.h"

namespace movrek::cli {

class TPageWriter {
 public:
  // `line_numbers` maps the job's 1-based URL lines to the lines of the
  // input, for error messages; empty: the same numbers. `keep_copy`: the
  // output is also kept for Save.
  TPageWriter(std::FILE* out, std::FILE* err, TResultFormat format, bool unique, bool keepCopy,
              std::vector<int> lineNumbers);

  // The page of the `number`th line of the job (1-based). False when its
  // error ends the job.
  bool Write(TPageResult page, int number);
  // Writes the copy to the file (CR LF line ends for text, LF otherwise);
  // false with the message shown when it cannot.
  bool Save(const std::string& fileName);

  void Message(const std::string& text);
  bool ReportedErrors() const { return errors_ > 0; }
  // Standard output can no longer be written (a reader such as `head` has
  // gone): the rest of the job would be lost, so the front end stops it.
  bool OutputBroken() const { return std::ferror(out_) != 0; }
  void Flush() { std::fflush(out_); }

 private:
  std::FILE* out_;
  std::FILE* err_;
  TResultFormat format_;
  bool unique_;
  bool keep_copy_;
  std::vector<int> line_numbers_;
  TLinkDedupe seen_;
  std::string chunk_;  // reused for the text of each page
  std::string copy_;   // what Save writes
  int errors_ = 0;
};

// The line standard error gets after the status of a failed fetch: the
// socket error number and its text, or what kept a response from being read.
std::string FailureReasonText(const TPageResult& page);

}  // namespace movrek::cli
