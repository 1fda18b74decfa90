// The URL list as movrek-cli takes it: lines, the byte order mark, refused
// lines, huge lines.
#include "cli/url_list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_limits.h"

namespace {

using movrek::cli::TUrlList;
using movrek::cli::TUrlListReader;

// The list fed whole, then byte by byte: a piece boundary never matters.
std::vector<TUrlList> ReadBothWays(const std::string& bytes) {
  TUrlListReader whole;
  whole.Feed(bytes);
  TUrlListReader bytewise;
  // The mark is looked for in the first piece only.
  bytewise.Feed(bytes.substr(0, 3));
  for (std::size_t i = 3; i < bytes.size(); ++i) {
    bytewise.Feed(bytes.substr(i, 1));
  }
  return {whole.Finish(), bytewise.Finish()};
}

// "N:url" for the kept lines, "N!shown!reason" for the refused ones.
std::string Outline(const TUrlList& list) {
  std::string text;
  for (std::size_t i = 0; i < list.Urls.size(); ++i) {
    text += std::to_string(list.LineNumbers[i]) + ":" + list.Urls[i] + " ";
  }
  for (const auto& line : list.Refused) {
    text += std::to_string(line.LineNumber) + "!" + line.Shown + "!" + line.Reason + " ";
  }
  return text;
}

TEST(UrlListReader, SplitsCleansAndRefusesLines) {
  using namespace std::string_literals;
  const struct {
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"\xEF\xBB\xBFh/a\r\nh/b\n\rh/c\rh/d", "1:h/a 2:h/b 4:h/c 5:h/d "},
      {"h/a\n\xEF\xBB\xBFh/b", "1:h/a 2:\xEF\xBB\xBFh/b "},  // only a mark at the start
      {"ab\n   \n\t \t\nh/a\n\n", "4:h/a "},
      {"h/a\nh/\0b\nh/c\n"s, "1:h/a 3:h/c 2!h/?b!NUL byte in address "},
      {"\0\0\0"s,
       "1!??"
       "?!NUL byte in address "},
      {"", ""},
      {"\xEF\xBB\xBF", ""},
  };
  for (const auto& c : cases) {
    for (const TUrlList& list : ReadBothWays(c.bytes)) {
      EXPECT_EQ(Outline(list), c.expected) << c.bytes;
    }
  }
}

TEST(UrlListReader, ALineLongerThanTheLimitIsRefusedAndOnlyItsStartKept) {
  const std::size_t limit = movrek::cli::kMaxUrlLineBytes;
  TUrlListReader reader;
  reader.Feed("h/a\n" + std::string(limit, 'x') + "\n");
  for (int i = 0; i < 40; ++i) {
    reader.Feed(std::string(limit / 4, 'y'));  // one line of ten limits
  }
  reader.Feed("\nh/b");
  const TUrlList list = reader.Finish();
  EXPECT_EQ(list.Urls, (std::vector<std::string>{"h/a", std::string(limit, 'x'), "h/b"}));
  EXPECT_EQ(list.LineNumbers, (std::vector<int>{1, 2, 4}));
  ASSERT_EQ(list.Refused.size(), 1u);
  EXPECT_EQ(list.Refused[0].LineNumber, 3);
  EXPECT_EQ(list.Refused[0].Shown, std::string(movrek::cli::kMaxShownLineBytes, 'y') + "...");
  EXPECT_EQ(list.Refused[0].Reason, "line longer than 65536 bytes");
}

}  // namespace
