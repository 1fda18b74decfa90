// The texts of a run: numbers, the summary, the live line and its fit to
// the terminal.
#include "cli/run_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace movrek::cli;

TEST(RunTexts, NumbersSizesAndDurations) {
  EXPECT_EQ(GroupedNumber(0), "0");
  EXPECT_EQ(GroupedNumber(999), "999");
  EXPECT_EQ(GroupedNumber(37311), "37,311");
  EXPECT_EQ(GroupedNumber(1234567), "1,234,567");
  EXPECT_EQ(ByteSizeText(1023), "1023 B");
  EXPECT_EQ(ByteSizeText(1536), "1.5 KiB");
  EXPECT_EQ(ByteSizeText(512LL << 20), "512.0 MiB");
  EXPECT_EQ(DurationText(41.4), "41 s");
  EXPECT_EQ(DurationText(185), "3 min 05 s");
  EXPECT_EQ(DurationText(7620), "2 h 07 min");
  EXPECT_EQ(SummaryText({412, 37311, 3, 1}, 12.44),
            "412 pages, 37,311 links, 3 failed, 1 skipped in 12.4 s");
  EXPECT_EQ(SummaryText({1, 1, 0, 0}, 0), "1 page, 1 link, 0 failed, 0 skipped in 0.0 s");
}

TEST(RunTexts, LiveLineNamesTheTransfersInFlight) {
  const std::vector<movrek::TTransferInFlight> in_flight = {
      {2, " http://h/big ", 3 << 20, 4 << 20},
      {5, "HTTPS://h/drip", 700, 0},
  };
  EXPECT_EQ(LiveLineText({10, 900, 1, 0}, 2000, 5, in_flight),
            "10/2,000 pages, 1 failed, 900 links, 2.0 pages/s, 16 min 35 s left"
            " | h/big 3.0 MiB 75%, h/drip 700 B");
  // No rate in the first second.
  EXPECT_EQ(LiveLineText({1, 1, 0, 0}, 3, 0.5, {}), "1/3 pages, 0 failed, 1 link");
  // A list from a pipe: no total, no time left.
  EXPECT_EQ(LiveLineText({10, 900, 1, 0}, -1, 5, {}), "10 pages, 1 failed, 900 links, 2.0 pages/s");
  EXPECT_EQ(InFlightText(in_flight[0]), "http://h/big (3.0 MiB of 4.0 MiB)");
  EXPECT_EQ(InFlightText(in_flight[1]), "HTTPS://h/drip (700 B)");
}

TEST(RunTexts, FitToColumnsCutsAndNeutralisesControls) {
  const struct {
    std::string text;
    int columns;
    std::string expected;
  } cases[] = {
      {"abcdef", 4, "abcd"},
      {"ab", 10, "ab"},
      {"a\x1b[2Jb\r\n", 10, "a?[2Jb??"},
      {"\xC3\xA9t\xC3\xA9", 4, "\xC3\xA9t"},  // é as two cells, never more
      {"\xE4\xB8\xAD\xE6\x96\x87", 4, "\xE4\xB8\xAD\xE6\x96\x87"},
      {"a\xC2\x9B"
       "b",
       10, "a?b"},  // C1 control (CSI)
      {"a\xE4\xB8"
       "b",
       10, "a??b"},  // a cut sequence
      {"abc", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitToColumns(c.text, c.columns), c.expected) << c.text;
  }
}

}  // namespace
