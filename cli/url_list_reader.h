// The URL list as movrek-cli reads it: split into lines as the window splits
// them, cleaned of what cannot be an address, without ever holding a copy of
// a huge line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "text/text_lines.h"

namespace movrek::cli {

// A line of the list that names a page, or is refused.
struct TListLine {
  int LineNumber = 0;  // 1-based line of the input
  std::string Text;    // the line as given (its first kMaxUrlLineBytes)
  // Not empty: the line is not fetched, and why; Shown is then its start,
  // control characters as '?'.
  std::string Reason;
  std::string Shown;
};

// Why a list line (or an address argument) is no address to fetch: an
// unsupported scheme, or no URL a browser would read even with "http://"
// in front. Empty when it is one.
std::string AddressProblem(std::string_view line);

// Takes the list in pieces. A line ends at CR, at LF or at CR LF (LF CR is
// two line ends); a UTF-8 byte order mark at the very start is dropped.
// Lines shorter than the window's minimum, holding only blanks, or whose
// first character that is no blank is '#' (comments, such as the block
// heads of movrek-cli's own output) are left out; a line with a NUL byte,
// longer than kMaxUrlLineBytes or with no fetchable address is refused.
class TUrlListReader {
 public:
  // `countOnly`: lines are only counted (see Counted), never kept or checked.
  explicit TUrlListReader(bool countOnly = false) : count_only_(countOnly) {}

  void Feed(std::string_view bytes);
  // Ends the list: a last line without a line end still counts.
  void Finish();
  // The next line read, or nothing until more is fed.
  std::optional<TListLine> Take();
  // Lines that name a page or are refused, so far.
  std::int64_t Counted() const { return counted_; }

 private:
  void FeedLines(std::string_view bytes);
  void Append(std::string_view part);
  void EndLine();
  bool Ignored() const;

  bool count_only_;
  std::deque<TListLine> ready_;
  std::string line_;  // the line so far, at most kMaxUrlLineBytes of it
  std::size_t line_bytes_ = 0;
  bool nul_ = false;
  char first_shown_ = '\0';  // counting: the line's first character that is no blank
  TLineSplitter splitter_;
  bool started_ = false;
  std::string first_bytes_;  // the start, until it shows whether a mark is there
  int line_number_ = 0;
  std::int64_t counted_ = 0;
};

}  // namespace movrek::cli
