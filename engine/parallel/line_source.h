// Where a parallel job takes the lines of its list: one at a time, as the
// workers get to them, so that a list of millions of lines is never held
// whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/parallel/page_result.h"

namespace movrek {

struct TJobLine {
  std::string Text;
  // The line of the input it came from (1-based), for messages.
  int InputLine = 0;
  // Set: the line is not fetched; this is its record (a line the source
  // refused, or a failure to read the list, which carries a JobError).
  std::optional<TPageResult> Record;
};

class TLineSource {
 public:
  virtual ~TLineSource() = default;
  // The next line, or nothing at the end of the list. One worker at a time
  // asks; a source that waits for its input returns (nothing) soon after
  // `stopped` turns true.
  virtual std::optional<TJobLine> Next(const std::function<bool()>& stopped) = 0;
  // How many lines the list has in all; -1 while that is not known (a
  // list still being counted, or standard input).
  virtual std::int64_t Total() const = 0;
};

// A list already in memory: each text is a line, numbered from 1.
class TVectorLineSource final : public TLineSource {
 public:
  explicit TVectorLineSource(std::vector<std::string> lines) : lines_(std::move(lines)) {}

  std::optional<TJobLine> Next(const std::function<bool()>& /*stopped*/) override {
    if (next_ >= lines_.size()) {
      return std::nullopt;
    }
    TJobLine line;
    line.Text = std::move(lines_[next_]);
    line.InputLine = static_cast<int>(++next_);
    return line;
  }
  std::int64_t Total() const override { return static_cast<std::int64_t>(lines_.size()); }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

}  // namespace movrek
