#include "text/text_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace movrek {
namespace {

// The lines of a text fed in two pieces cut at `cut`, the unfinished last
// line included.
std::vector<std::string> SplitAt(std::string_view text, std::size_t cut) {
  TLineSplitter splitter;
  std::vector<std::string> lines(1);
  const auto part = [&lines](std::string_view piece) { lines.back() += piece; };
  const auto end = [&lines] {
    lines.emplace_back();
    return true;
  };
  splitter.Feed(text.substr(0, cut), part, end);
  splitter.Feed(text.substr(cut), part, end);
  if (lines.back().empty()) lines.pop_back();
  return lines;
}

TEST(TextLines, PiecesSplitAsTheWholeTextAtEveryCut) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\n\rb\r\n", {"a", "", "b"}},  // LF CR: two line ends
      {"\r\r\n\n", {"", "", ""}},
      {"one\rtwo\nthree\r\n", {"one", "two", "three"}},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<std::string> whole;
    ForEachLine(text, [&whole](std::string_view line) {
      whole.emplace_back(line);
      return true;
    });
    EXPECT_EQ(whole, expected) << text;
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
      EXPECT_EQ(SplitAt(text, cut), expected) << text << " cut at " << cut;
  }
}

}  // namespace
}  // namespace movrek
