// Cuts HTTP/1 head lines (status, header, chunk-size and trailer lines) out
// of bytes as they arrive, holding only the line in progress.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace movrek {

// Line ends are CR LF, LF CR, or a lone CR or LF: servers send all four
// (RFC 9112 section 2.2 lets a recipient take a bare LF; old ones end lines
// with CR alone). A two-byte end counts as one wherever the input is cut, so
// a lone CR or LF that is the last byte of one input takes its partner from
// the front of the next.
class THttpLineSplitter {
 public:
  enum class TStatus {
    More,     // every byte was taken; the line goes on
    Line,     // Line() is complete, its end taken
    TooLong,  // the line passed the bound; Line() holds what was gathered
  };

  // Lines longer than maxLine bytes (without their end) are refused.
  explicit THttpLineSplitter(std::size_t maxLine) : maxLine_(maxLine) {}

  // Takes bytes from the front of `bytes`, up to and including one line end;
  // `consumed` says how many. After TooLong the line end and what follows it
  // are left untaken.
  TStatus Take(std::string_view bytes, std::size_t& consumed);
  // The partner of the last line's lone end when it opens `bytes`: 1 when it
  // does (the caller drops that byte), else 0. Either way the wait ends.
  std::size_t DropPartner(std::string_view bytes);
  // Hands the partner wait to whoever reads on (0: none).
  char TakePendingPartner();
  // Takes over such a wait from whoever read before.
  void AwaitPartner(char partner) { partner_ = partner; }

  [[nodiscard]] const std::string& Line() const { return line_; }
  // Part of a line has arrived and its end has not.
  [[nodiscard]] bool MidLine() const { return !complete_ && !line_.empty(); }

 private:
  std::size_t maxLine_;
  std::string line_;
  bool complete_ = false;  // line_ is a whole line; the next Take starts anew
  char partner_ = 0;       // the byte that would finish the last line end
};

}  // namespace movrek
