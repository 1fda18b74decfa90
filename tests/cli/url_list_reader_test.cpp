// The URL list as movrek-cli takes it: lines, the byte order mark, refused
// lines, huge lines.
#include "cli/url_list_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/cli_limits.h"

namespace {

using movrek::cli::TListLine;
using movrek::cli::TUrlListReader;

std::vector<TListLine> Drain(TUrlListReader& reader) {
  reader.Finish();
  std::vector<TListLine> lines;
  while (auto line = reader.Take()) {
    lines.push_back(std::move(*line));
  }
  return lines;
}

// The list fed whole, then byte by byte: a piece boundary never matters.
std::vector<std::vector<TListLine>> ReadBothWays(const std::string& bytes) {
  TUrlListReader whole;
  whole.Feed(bytes);
  TUrlListReader bytewise;
  for (const char c : bytes) {
    bytewise.Feed(std::string(1, c));
  }
  return {Drain(whole), Drain(bytewise)};
}

// "N:url" for the kept lines, "N!shown!reason" for the refused ones.
std::string Outline(const std::vector<TListLine>& list) {
  std::string text;
  for (const TListLine& line : list) {
    text += std::to_string(line.LineNumber) +
            (line.Reason.empty() ? ":" + line.Text : "!" + line.Shown + "!" + line.Reason) + " ";
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
      {"\xEF\xBBh/a", "1!\xEF\xBBh/a!not a valid URL "},  // only a mark at the start
      {"ab\n   \n\t \t\nh/a\n\n", "4:h/a "},
      {"h/a\nh/\0b\nh/c\n"s, "1:h/a 2!h/?b!NUL byte in address 3:h/c "},
      // Comments, such as the block heads of a saved output, are no lines.
      {"#===========#\n  # Links From: x\nh/a\n", "3:h/a "},
      {"ftp://x/\nMailTo:a@b\nHTTPS://h/\nh:8080/a\nlocalhost:80\n",
       "1!ftp://x/!unsupported scheme \"ftp\" 2!MailTo:a@b!unsupported scheme \"mailto\" "
       "3:HTTPS://h/ 4:h:8080/a 5:localhost:80 "},
      {"exa mple.com/a\nhttp://\nh:99999/\nh/a b\n",
       "1!exa mple.com/a!not a valid URL 2!http://!not a valid URL 3!h:99999/!not a valid URL "
       "4:h/a b "},
      {"\0\0\0"s,
       "1!??"
       "?!NUL byte in address "},
      {"", ""},
      {"\xEF\xBB\xBF", ""},
  };
  for (const auto& c : cases) {
    const auto lists = ReadBothWays(c.bytes);
    for (const auto& list : lists) {
      EXPECT_EQ(Outline(list), c.expected) << c.bytes;
    }
    // A count that keeps nothing finds the same lines.
    TUrlListReader counter(true);
    counter.Feed(c.bytes);
    counter.Finish();
    EXPECT_EQ(counter.Counted(), static_cast<std::int64_t>(lists[0].size())) << c.bytes;
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
  const std::vector<TListLine> list = Drain(reader);
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[1].Text.size(), limit);
  EXPECT_EQ(list[3].Text, "h/b");
  EXPECT_EQ(list[2].LineNumber, 3);
  EXPECT_EQ(list[2].Shown, std::string(movrek::cli::kMaxShownLineBytes, 'y') + "...");
  EXPECT_EQ(list[2].Reason, "line longer than 65536 bytes");
  EXPECT_EQ(reader.Counted(), 4);
}

}  // namespace
