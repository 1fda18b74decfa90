#include "engine/link_listing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "html/html_errors.h"
#include "tests/engine/recording_window.h"

namespace movrek {
namespace {

using movrek::testing::TRecordingWindow;

class PageFile {
 public:
  explicit PageFile(const std::string& content)
      : path_(::testing::TempDir() + "movrek_listing_" + std::to_string(++counter_) + ".xtr") {
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~PageFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

std::vector<std::string> Header(const std::string& page, const std::string& base) {
  return {"#===========#", "# Links From: " + page, "# Baseurl: " + base, "#===========#"};
}

std::vector<std::string> Listed(const std::string& html, const std::string& base,
                                TFilterSettings filter = {}) {
  PageFile page(html);
  TRecordingWindow window;
  window.Filter = filter;
  movrek::TWindowSink sink(window);
  ListLinks(sink, page.path(), base, "http://page/");
  std::vector<std::string> links = window.ResultLines;
  EXPECT_GE(links.size(), 4u);
  links.erase(links.begin(), links.begin() + std::min<std::size_t>(4, links.size()));
  return links;
}

struct FormCase {
  std::string href;
  std::string line;
};

TEST(LinkListing, LinksAreResolvedAgainstAnAbsoluteBase) {
  const std::vector<FormCase> cases = {
      {"x.html", "http://host/docs/x.html"},
      {"\"x.html\"", "http://host/docs/x.html"},
      {"/about", "http://host/about"},
      {"//cdn.example/x", "http://cdn.example/x"},
      {"../up/./a", "http://host/up/a"},
      {"?q=1", "http://host/docs/?q=1"},
      {"#top", "http://host/docs/#top"},
      {"", "http://host/docs/"},
      {"mailto:me@example.org", "mailto:me@example.org"},
      {"javascript:void(0)", "javascript:void(0)"},
      {"'https://other/b'", "https://other/b"},  // absolute once the quotes are gone
      {"HTTP://OTHER/B", "HTTP://OTHER/B"},
      {"page?u=http://x/", "http://host/docs/page?u=http://x/"},
      {"it's.html", "http://host/docs/its.html"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormLink(c.href, "http://host/docs/").Line, c.line) << c.href;
}

TEST(LinkListing, ARelativeBaseIsPutInFrontOfRelativeLinks) {
  const std::vector<FormCase> cases = {
      {"x", "abc/x"},
      {"/about", "abc//about"},
      {"", "abc/"},
      {"mailto:a@b", "mailto:a@b"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormLink(c.href, "abc/").Line, c.line) << c.href;
  EXPECT_EQ(FormLink("'x'", "/").Cleaned, "x");
}

TEST(LinkListing, BlockHasTheHeaderThenOneLinePerAnchorInOrder) {
  PageFile page(
      "<html><body><a href=\"one.html\">1</a><A HREF=two.html>2</A>\n"
      "<a name=x>no href</a><a href=one.html>dup</a><area href=no.html></body></html>");
  TRecordingWindow window;
  movrek::TWindowSink sink(window);
  ListLinks(sink, page.path(), "http://h/d/", "http://h/d/index.html");
  std::vector<std::string> expected = Header("http://h/d/index.html", "http://h/d/");
  for (const char* link :
       {"http://h/d/one.html", "http://h/d/two.html", "http://h/d/", "http://h/d/one.html"})
    expected.push_back(link);
  EXPECT_EQ(window.ResultLines, expected);
  // The filter is read again for every link.
  EXPECT_EQ(window.CallsOf("ReadFilterSettings").size(), 4u);
}

TEST(LinkListing, PagesWithoutAnyLinkGiveTheHeaderAlone) {
  for (const char* html : {"", "plain text", "{\"json\": [1, 2]}", "<p>no anchors</p>", "<a href=x",
                           "<script><a href=x></script>"})
    EXPECT_EQ(Listed(html, "http://h/"), std::vector<std::string>{}) << html;
}

TEST(LinkListing, AnAnchorThatOpensThePageIsListed) {
  EXPECT_EQ(Listed("<a href=first.html>f</a><a href=second.html>", "http://h/"),
            (std::vector<std::string>{"http://h/first.html", "http://h/second.html"}));
  EXPECT_EQ(Listed("<abbr><a href=x>", "http://h/"), std::vector<std::string>{"http://h/x"});
}

TEST(LinkListing, TabsAndLineBreaksInAnHrefCannotForgeResultLines) {
  EXPECT_EQ(Listed("<a href=\"a.html\n#===========#\r\n# Links From: forged\tx\">a</a>"
                   "<a href=\"b\t.html\">b</a>",
                   "http://h/"),
            (std::vector<std::string>{"http://h/a.html#===========## Links From: forgedx",
                                      "http://h/b.html"}));
}

struct FilterCase {
  TFilterSettings filter;
  std::vector<std::string> links;
};

TEST(LinkListing, KeywordFilterLooksAtTheCleanedLinkWithCaseRespected) {
  const std::string html =
      "<p><a href=\"/Shop/a\"><a href=\"/shop/b\"><a><a href=\"http://shop.example/c\">";
  const std::string base = "http://base.example/shopping/";
  const std::vector<FilterCase> cases = {
      {{false, 0, "shop"},
       {"http://base.example/Shop/a", "http://base.example/shop/b", base, "http://shop.example/c"}},
      {{true, 0, "shop"}, {"http://base.example/shop/b", "http://shop.example/c"}},
      {{true, 1, "shop"}, {"http://base.example/Shop/a", base}},
      {{true, 7, "shop"}, {"http://base.example/Shop/a", base}},  // any other mode: Not Having
      {{true, 0, "Shop"}, {"http://base.example/Shop/a"}},
      {{true, 0, "base.example"}, {}},  // only in the base: relative links dropped
      {{true, 0, ""}, {}},              // the empty keyword never occurs
      {{true, 1, ""},
       {"http://base.example/Shop/a", "http://base.example/shop/b", base, "http://shop.example/c"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Listed(html, base, c.filter), c.links)
        << c.filter.Enabled << " " << c.filter.Mode << " " << c.filter.Keyword;
}

TEST(LinkListing, AFilterChangeAppliesFromTheNextLink) {
  PageFile page("<p><a href=a1><a href=b2><a href=a3>");
  TRecordingWindow window;
  window.OnReadFilter = [](TRecordingWindow& w) {
    if (w.CallsOf("ReadFilterSettings").size() == 2) w.Filter = {true, 0, "a"};
  };
  movrek::TWindowSink sink(window);
  ListLinks(sink, page.path(), "http://h/", "http://h/");
  EXPECT_EQ(std::vector<std::string>(window.ResultLines.begin() + 4, window.ResultLines.end()),
            (std::vector<std::string>{"http://h/a1", "http://h/a3"}));
}

TEST(LinkListing, UnreadablePageRaisesTheFileErrorBeforeAnyLine) {
  TRecordingWindow window;
  movrek::TWindowSink sink(window);
  EXPECT_THROW(ListLinks(sink, ::testing::TempDir() + "movrek_no_such_page", "/", "p"),
               EFileOpenError);
  EXPECT_TRUE(window.Calls.empty());
}

}  // namespace
}  // namespace movrek
