#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "html/html_errors.h"

namespace movrek {

// A list that could not be saved: "Cannot save file "%s": %s failed. %s",
// with the file name, the step that failed and the system's reason.
class EFileSaveError : public std::runtime_error {
 public:
  EFileSaveError(const std::string& fileName, const std::string& step, const std::string& reason)
      : std::runtime_error("Cannot save file \"" + fileName + "\": " + step + " failed. " +
                           reason) {}
};

// An ordered list of 8-bit lines: the URL list, the result list and every
// other list of lines the engine keeps. Loading splits at CR, LF or CR LF (LF
// followed by CR is two line ends) and stops at a NUL byte; saving writes each
// line followed by CR LF.
class TTextList {
 public:
  TTextList() = default;
  explicit TTextList(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  [[nodiscard]] int Count() const { return static_cast<int>(lines_.size()); }
  [[nodiscard]] bool Empty() const { return lines_.empty(); }

  // Throw EListError for an index outside 0 to Count() - 1.
  [[nodiscard]] const std::string& Strings(int index) const;
  void SetStrings(int index, std::string line);
  void Delete(int index);
  // Inserts before index; index Count() appends.
  void Insert(int index, std::string line);

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

  // Every line followed by CR LF.
  [[nodiscard]] std::string Text() const;
  // Replaces the lines by those of the text.
  void SetText(std::string_view text);

  // Throws EFileOpenError (file name and the system's reason) when the file
  // cannot be read; the list is unchanged then.
  void LoadFromFile(const std::string& fileName);
  // Creates or replaces the file through a new file in the same folder that
  // is renamed over it once complete; throws EFileSaveError (what failed and
  // the system's reason) when it cannot, and the earlier file stays then.
  void SaveToFile(const std::string& fileName) const;

  [[nodiscard]] const std::vector<std::string>& Lines() const { return lines_; }

 private:
  void CheckIndex(int index) const;

  std::vector<std::string> lines_;
};

// Whether a line of the text, split as TTextList::SetText splits it, is
// shorter than `bytes`. Copies nothing: a list of millions of lines costs a
// scan.
bool HasLineShorterThan(std::string_view text, std::size_t bytes);

// Creates or replaces the file with exactly these bytes, through a new file
// beside it renamed over it once complete; throws EFileSaveError (the step
// that failed and the system's reason) when it cannot, leaving an earlier
// file as it was.
void WriteTextFile(const std::string& fileName, const std::string& text);

}  // namespace movrek
