// The URL list as movrek-cli reads it: split into lines as the window splits
// them, cleaned of what cannot be an address, without ever holding a copy of
// a huge line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace movrek::cli {

// A line of the list that is not fetched, and why.
struct TRefusedLine {
  int LineNumber = 0;  // 1-based line of the input
  std::string Shown;   // its start, control characters as '?'
  std::string Reason;
};

struct TUrlList {
  std::vector<std::string> Urls;
  std::vector<int> LineNumbers;  // the input line of each URL, 1-based
  std::vector<TRefusedLine> Refused;
};

// Takes the list in pieces. A line ends at CR, at LF or at CR LF (LF CR is
// two line ends); a UTF-8 byte order mark at the very start is dropped.
// Lines shorter than the window's minimum or holding only blanks are left
// out; a line with a NUL byte or longer than kMaxUrlLineBytes is refused.
class TUrlListReader {
 public:
  void Feed(std::string_view bytes);
  // The list, once every piece was fed.
  TUrlList Finish();

 private:
  void Take(std::string_view part);
  void EndLine();

  TUrlList list_;
  std::string line_;  // the line so far, at most kMaxUrlLineBytes of it
  std::size_t line_bytes_ = 0;
  bool nul_ = false;
  bool after_cr_ = false;
  bool started_ = false;
  int line_number_ = 0;
};

// Reads the list from `read` (which returns 0 at the end and throws on a
// failure) in blocks of kUrlListReadBlockBytes.
TUrlList ReadUrlList(const std::function<std::size_t(char*, std::size_t)>& read);

// The list from the file, or from standard input when `file` is empty or
// "-". Throws std::runtime_error with the reason when it cannot be read.
TUrlList ReadUrlListFile(const std::string& file);

}  // namespace movrek::cli
