#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/pipeline/window_operations.h"

namespace movrek::testing {

// A window that remembers what the engine did to it. Every call is recorded in
// order; the result list, the filter controls and the save target behave like
// the real controls. Not synchronised: a test that drives it from a worker
// thread adds its own lock or reads it only after the worker has ended.
class TRecordingWindow : public TWindowOperations {
 public:
  struct Call {
    // The method name, e.g. "SetStatusText"; every line of AppendResultLines
    // is recorded on its own as "AppendResultLine".
    std::string Operation;
    std::string Text;  // its text argument or result, if any
    int Line = 0;      // ReportJobError's line
  };

  void AppendResultLines(const std::vector<std::string>& lines) override;
  TFilterSettings ReadFilterSettings() override;
  void SetStatusText(const std::string& text) override;
  void SetProgressLine(const std::string& text) override;
  std::string ReadSaveTarget() override;
  void ClearSaveTarget() override;
  void SaveResultList(const std::string& file_name) override;
  void EnableStart() override;
  void ReportJobError(const std::string& text, int line) override;

  // The calls whose Operation is the given name, in order.
  std::vector<Call> CallsOf(const std::string& operation) const;

  std::vector<Call> Calls;
  std::vector<std::string> ResultLines;  // Memo2
  int ResultBatches = 0;                 // AppendResultLines calls
  TFilterSettings Filter;                // CheckBox2, ComboBox1, Edit1
  std::string SaveTarget;                // Label6 caption
  bool SaveLabelVisible = false;         // Label5
  std::string StatusText;                // StatusBar1
  std::string ProgressLine;              // Edit2
  bool StartEnabled = false;             // Button1
  // Called by ReadFilterSettings after it has been recorded, before the value
  // is returned: lets a test change the controls while links are examined.
  std::function<void(TRecordingWindow&)> OnReadFilter;
};

}  // namespace movrek::testing
