#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/listing/filter_settings.h"

namespace movrek {

// What a completed job did: the URL lines it went through, the link lines
// it listed, and the pages that failed (no page, or an answer outside 2xx).
struct TJobSummary {
  std::int64_t Pages = 0;
  std::int64_t Links = 0;
  std::int64_t Failed = 0;
};

// What the engine may do to the main window. The engine never touches a
// window control itself: the window supplies an implementation that carries
// every call out on its own thread, in the order the engine makes them, and
// the engine never includes a GUI header.
class TWindowOperations {
 public:
  virtual ~TWindowOperations() = default;

  // Appends the lines, in order, at the end of the result list (Memo2), in
  // one go: a page of a million links must not cost the window a million
  // separate edits.
  virtual void AppendResultLines(const std::vector<std::string>& lines) = 0;
  // The filter controls as they stand now; read again for every link so that
  // a change made while a job runs applies from the next link on.
  virtual TFilterSettings ReadFilterSettings() = 0;
  // The single text of the status bar (StatusBar1).
  virtual void SetStatusText(const std::string& text) = 0;
  // The read-only progress line (Edit2); the empty text clears it.
  virtual void SetProgressLine(const std::string& text) = 0;
  // The save target path (caption of Label6); empty when none was chosen.
  virtual std::string ReadSaveTarget() = 0;
  // Forgets the save target: Label6 caption emptied, Label5 hidden.
  virtual void ClearSaveTarget() = 0;
  // Writes the whole result list to the file, each line ended by CR LF,
  // creating or replacing it; throws EFileOpenError when it cannot.
  virtual void SaveResultList(const std::string& fileName) = 0;
  // Enables the Start command (Button1).
  virtual void EnableStart() = 0;
  // A job was ended early by an error; the text says why, line is the
  // 1-based URL list line that was being processed.
  virtual void ReportJobError(const std::string& text, int line) = 0;
  // The job completed and the window is Idle again; a window that has a
  // place for it shows what the job did.
  virtual void ShowJobSummary(const TJobSummary& /*summary*/) {}
};

}  // namespace movrek
