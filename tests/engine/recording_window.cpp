#include "tests/engine/recording_window.h"

#include "engine/listing/text_list.h"

namespace movrek::testing {

void TRecordingWindow::AppendResultLines(const std::vector<std::string>& lines) {
  ++ResultBatches;
  for (const std::string& line : lines) {
    Calls.push_back({"AppendResultLine", line});
    ResultLines.push_back(line);
  }
}

TFilterSettings TRecordingWindow::ReadFilterSettings() {
  Calls.push_back({"ReadFilterSettings", {}});
  if (OnReadFilter) OnReadFilter(*this);
  return Filter;
}

void TRecordingWindow::SetStatusText(const std::string& text) {
  Calls.push_back({"SetStatusText", text});
  StatusText = text;
}

void TRecordingWindow::SetProgressLine(const std::string& text) {
  Calls.push_back({"SetProgressLine", text});
  ProgressLine = text;
}

std::string TRecordingWindow::ReadSaveTarget() {
  Calls.push_back({"ReadSaveTarget", SaveTarget});
  return SaveTarget;
}

void TRecordingWindow::ClearSaveTarget() {
  Calls.push_back({"ClearSaveTarget", {}});
  SaveTarget.clear();
  SaveLabelVisible = false;
}

void TRecordingWindow::SaveResultList(const std::string& file_name) {
  Calls.push_back({"SaveResultList", file_name});
  TTextList(ResultLines).SaveToFile(file_name);
}

void TRecordingWindow::EnableStart() {
  Calls.push_back({"EnableStart", {}});
  StartEnabled = true;
}

void TRecordingWindow::ReportJobError(const std::string& text, int line) {
  Calls.push_back({"ReportJobError", text, line});
}

std::vector<TRecordingWindow::Call> TRecordingWindow::CallsOf(const std::string& operation) const {
  std::vector<Call> found;
  for (const auto& call : Calls)
    if (call.Operation == operation) found.push_back(call);
  return found;
}

}  // namespace movrek::testing
