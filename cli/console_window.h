// The window operations of movrek-cli: result lines to standard output,
// status texts and progress lines to standard error.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/listing/text_list.h"
#include "engine/pipeline/window_operations.h"

namespace movrek::cli {

class TConsoleWindow final : public TWindowOperations {
 public:
  // `line_numbers` maps the job's 1-based URL lines to the lines of the
  // input, for error messages; empty: the same numbers.
  TConsoleWindow(std::FILE* out, std::FILE* err, TFilterSettings filter, std::string saveTarget,
                 std::vector<int> lineNumbers = {});

  void AppendResultLines(const std::vector<std::string>& lines) override;
  TFilterSettings ReadFilterSettings() override { return filter_; }
  void SetStatusText(const std::string& text) override;
  void SetProgressLine(const std::string& text) override;
  std::string ReadSaveTarget() override { return save_target_; }
  void ClearSaveTarget() override { save_target_.clear(); }
  void SaveResultList(const std::string& fileName) override;
  void EnableStart() override { start_enabled_ = true; }
  void ReportJobError(const std::string& text, int line) override;

  // The job has completed (Start was enabled again).
  bool StartEnabled() const { return start_enabled_; }
  bool ReportedErrors() const { return errors_ > 0; }
  // Standard output can no longer be written (a reader such as `head` has
  // gone): the rest of the job would be lost, so the front end stops it.
  bool OutputBroken() const { return std::ferror(out_) != 0; }
  void Flush();

 private:
  void Message(const std::string& text);

  std::FILE* out_;
  std::FILE* err_;
  TFilterSettings filter_;
  std::string save_target_;
  std::vector<int> line_numbers_;
  // Kept only for a save target: a job without one prints and forgets.
  TTextList results_;
  std::string batch_;  // reused for the text of each batch
  bool start_enabled_ = false;
  int errors_ = 0;
};

}  // namespace movrek::cli
