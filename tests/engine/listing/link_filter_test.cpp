// Keywords and regular expressions that decide which links are listed.
#include "engine/listing/link_filter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using movrek::TLinkFilter;

struct FilterCase {
  const char* name;
  std::vector<std::string> having, not_having, match, not_match;
  std::vector<std::string> kept, dropped;
};

TEST(LinkFilter, RepeatedWordsAndPatternsCombine) {
  const std::vector<FilterCase> cases = {
      {"NoFilterKeepsAll", {}, {}, {}, {}, {"a", ""}, {}},
      {"AnyHavingWord", {"pdf", "doc"}, {}, {}, {}, {"/a.pdf", "/b.doc"}, {"/c.txt"}},
      {"NoNotHavingWord", {}, {"ads", "track"}, {}, {}, {"/news"}, {"/ads/1", "/x?track=1"}},
      {"HavingAndNotHaving", {"pdf"}, {"draft"}, {}, {}, {"/a.pdf"}, {"/draft.pdf", "/a.txt"}},
      {"EmptyWordNeverOccurs", {""}, {""}, {}, {}, {}, {"/a"}},
      {"CaseMatters", {"PDF"}, {}, {}, {}, {"/A.PDF"}, {"/a.pdf"}},
      {"EveryMatchNoNotMatch",
       {},
       {},
       {"^https://", R"(\.pdf$)"},
       {"/tmp/"},
       {"https://h/a.pdf"},
       {"http://h/a.pdf", "https://h/a.pdfx", "https://h/tmp/a.pdf"}},
      {"BytesStandForThemselves", {}, {}, {"\xE9"}, {}, {"/caf\xE9"}, {"/cafe"}},
  };
  for (const FilterCase& c : cases) {
    TLinkFilter filter;
    for (const auto& w : c.having) filter.AddHaving(w);
    for (const auto& w : c.not_having) filter.AddNotHaving(w);
    for (const auto& p : c.match) ASSERT_EQ(filter.AddMatch(p), "") << c.name;
    for (const auto& p : c.not_match) ASSERT_EQ(filter.AddNotMatch(p), "") << c.name;
    for (const auto& link : c.kept) EXPECT_TRUE(filter.Passes(link)) << c.name << " " << link;
    for (const auto& link : c.dropped) EXPECT_FALSE(filter.Passes(link)) << c.name << " " << link;
  }
}

TEST(LinkFilter, BadPatternGivesTheReason) {
  TLinkFilter filter;
  EXPECT_EQ(filter.AddMatch("a[b"), "missing ]: [b");
  EXPECT_TRUE(filter.Empty());
}

TEST(LinkFilter, PatternThatBacktrackingWouldExplodeOnEndsAtOnce) {
  // (a+)+$ against a long run of "a" and a stray last byte takes a
  // backtracking engine 2^n steps; the filter must answer in linear time.
  TLinkFilter filter;
  ASSERT_EQ(filter.AddMatch("^(a+)+$"), "");
  const std::string link = std::string(100000, 'a') + "!";
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(filter.Passes(link));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
