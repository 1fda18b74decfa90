// The window operations of the engine, carried out on the main window's
// controls. Every call runs on the window's thread.
#pragma once

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/window_job/window_operations.h"

namespace movrek::app {

class TForm1;
class TQtWindowThread;

class TFormOperations final : public TWindowOperations {
 public:
  // Lines put into the result list in one edit step; a larger batch goes in
  // step by step, yielding to input and painting when the slice is used.
  static constexpr std::size_t kLinesPerStep = 2000;

  TFormOperations(TForm1& form, TQtWindowThread& windowThread)
      : form_(form), window_thread_(windowThread) {}

  void AppendResultLines(const std::vector<std::string>& lines) override;
  TFilterSettings ReadFilterSettings() override;
  void SetStatusText(const std::string& text) override;
  void SetProgressLine(const std::string& text) override;
  std::string ReadSaveTarget() override;
  void ClearSaveTarget() override;
  void SaveResultList(const std::string& fileName) override;
  void EnableStart() override;
  void ReportJobError(const std::string& text, int line) override;
  // "Done: ..." on the status bar, until the next command.
  void ShowJobSummary(const TJobSummary& summary) override;

  // Label5 shown and Label6 holding the path, sized to it.
  void SetSaveTarget(const QString& path);

 private:
  TForm1& form_;
  TQtWindowThread& window_thread_;
};

}  // namespace movrek::app
