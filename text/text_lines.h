// The line rules every list of lines follows, whether it is read whole (a
// list in the window, a loaded file) or in pieces (a list on a pipe): a line
// ends at CR, at LF or at the pair CR LF, and LF followed by CR is two line
// ends. A list's text ends at its first NUL byte (TextBeforeNul); a
// document's does not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace movrek {

// Position of the first byte in [begin, end) that equals a or b; end if none.
const char* FindFirstOf2(const char* begin, const char* end, char a, char b);
// Position of the last byte in [begin, end) that equals a or b; nullptr if none.
const char* FindLastOf2(const char* begin, const char* end, char a, char b);

// The text cut at its first NUL byte.
std::string_view TextBeforeNul(std::string_view bytes);

// Splits a text that comes in pieces into lines. A CR at the end of one
// piece and an LF at the start of the next are one line end, so a list read
// from a pipe splits as the same list read whole.
class TLineSplitter {
 public:
  // Calls part(view) with each non-empty piece of the line in progress and
  // end() at every line end; end returns false to stop at once (the rest of
  // `bytes` is dropped). The bytes after the last line end form the line in
  // progress, continued by the next Feed.
  template <typename Part, typename End>
  void Feed(std::string_view bytes, Part&& part, End&& end) {
    const char* at = bytes.data();
    const char* const stop = at + bytes.size();
    while (at < stop) {
      if (after_cr_) {
        after_cr_ = false;
        if (*at == '\n') {
          ++at;
          continue;
        }
      }
      const char* hit = FindFirstOf2(at, stop, '\r', '\n');
      if (hit != at) {
        part(std::string_view(at, static_cast<std::size_t>(hit - at)));
      }
      if (hit == stop) {
        return;
      }
      after_cr_ = *hit == '\r';
      at = hit + 1;
      if (!end()) {
        return;
      }
    }
  }

 private:
  bool after_cr_ = false;  // the last byte fed ended a line with CR
};

// Calls visit(line) for every line of a whole text; visit returns false to
// stop early. A line end closes the text: nothing after it is a line.
template <typename Visitor>
void ForEachLine(std::string_view text, Visitor&& visit) {
  TLineSplitter splitter;
  // A whole text gives each line in one piece.
  std::string_view line;
  bool open = false;
  splitter.Feed(
      text,
      [&](std::string_view part) {
        line = part;
        open = true;
      },
      [&] {
        const bool go_on = visit(open ? line : std::string_view());
        open = false;
        return go_on;
      });
  if (open) {
    visit(line);
  }
}

// The lines, each followed by CR LF.
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace movrek
