#include "engine/listing/link_listing.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "html/html_errors.h"
#include "tests/engine/listing/recording_sink.h"

namespace movrek {
namespace {

using movrek::testing::TRecordingSink;

class PageFile {
 public:
  explicit PageFile(const std::string& content)
      // The process id keeps cases run side by side, each in a process of
      // its own, off each other's files.
      : path_(::testing::TempDir() + "movrek_listing_" + std::to_string(::getpid()) + "_" +
              std::to_string(++counter_) + ".xtr") {
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

// The links of a page reached at finalAddress, without the header.
std::vector<std::string> Listed(const std::string& html, const std::string& finalAddress,
                                TFilterSettings filter = {}, const std::string& contentType = "") {
  PageFile page(html);
  TRecordingSink window;
  window.Filter = filter;
  TRecordingSink& sink = window;
  ListLinks(sink, page.path(), "http://header/", "http://page/", {finalAddress, contentType});
  std::vector<std::string> links = window.ResultLines;
  EXPECT_GE(links.size(), 4u);
  links.erase(links.begin(), links.begin() + std::min<std::size_t>(4, links.size()));
  return links;
}

struct ListCase {
  std::string html;
  std::vector<std::string> links;
};

void ExpectListed(const std::vector<ListCase>& cases, const std::string& finalAddress) {
  for (const auto& c : cases) EXPECT_EQ(Listed(c.html, finalAddress), c.links) << c.html;
}

TEST(LinkListing, ReferencesResolveAgainstThePageNotItsFolder) {
  ExpectListed(
      {
          {"<a href=\"#A\">", {"http://h/lua/genindex.html#A"}},
          {"<a href=\"?page=2\">", {"http://h/lua/genindex.html?page=2"}},
          {"<a href=\"\">", {"http://h/lua/genindex.html"}},
          {"<a href>", {"http://h/lua/genindex.html"}},
          {"<a href=x.html><a href=../up/./a><a href=/abs>",
           {"http://h/lua/x.html", "http://h/up/a", "http://h/abs"}},
          {"<a href=//cdn.example/x><a href=mailto:me@example.org><a href=javascript:void(0)>",
           {"http://cdn.example/x", "mailto:me@example.org", "javascript:void(0)"}},
          {"<a href=page?u=http://x/>", {"http://h/lua/page?u=http://x/"}},
      },
      "http://h/lua/genindex.html");
}

TEST(LinkListing, TheFirstBaseElementWithAnHrefIsTheBaseOfEveryLink) {
  ExpectListed(
      {
          {"<a href=x><base href=\"/other/\"><a href=y>", {"http://h/other/x", "http://h/other/y"}},
          {"<base target=_top><base href=sub/><base href=/ignored/><a href=x>",
           {"http://h/d/sub/x"}},
          {"<BASE HREF='http://b.example/c/'><a href=#f>", {"http://b.example/c/#f"}},
          {"<base href=\"javascript:alert(1)//\"><a href=x>", {"http://h/d/x"}},
          {"<a href=x><!-- <base href=/no/> -->", {"http://h/d/x"}},
      },
      "http://h/d/p.html");
}

TEST(LinkListing, OnlyAnchorsWithAnHrefAreLinks) {
  ExpectListed(
      {
          {"<a id=top><a name=x>named</a><a href=one><a title=href><a>", {"http://h/one"}},
          {"<A HREF=two.html><a hreflang=en href=three><area href=no.html>",
           {"http://h/two.html", "http://h/three"}},
          {"<a href=first><a href=second href=ignored>", {"http://h/first", "http://h/second"}},
      },
      "http://h/");
}

TEST(LinkListing, OnlyTheDelimitingQuotesAreRemoved) {
  ExpectListed(
      {
          {"<a href=\"/wiki/Ender's_Game\">", {"http://h/wiki/Ender's_Game"}},
          {"<a href='it\"s'>", {"http://h/it%22s"}},
          {"<a href='a b'><a href = \"c\"><a href=\" /d \">",
           {"http://h/a%20b", "http://h/c", "http://h/d"}},
          {"<a href='https://other/b'>", {"https://other/b"}},
      },
      "http://h/");
}

TEST(LinkListing, EveryLinkIsAValidAddressInAscii) {
  ExpectListed(
      {
          {"<a href=\"HTTP://EXAMPLE.COM:80/A/../b\">", {"http://example.com/b"}},
          {"<a href=\"\\x\\y z\">", {"http://h/x/y%20z"}},
          {"<meta charset=utf-8><a href=\"/caf\xC3\xA9?q=\xC3\xA9#\xC3\xA9\">",
           {"http://h/caf%C3%A9?q=%C3%A9#%C3%A9"}},
          {"<meta charset=utf-8><a href=\"http://b\xC3\xBC"
           "cher.example/\">",
           {"http://xn--bcher-kva.example/"}},
          {"<a href=\"http://[::1\"><a href=\"http://a b/\xE9\">",
           {"http://[::1", "http://a b/%C3%A9"}},  // none: as written, in ASCII
          // A query character windows-1252 lacks goes as the reference browsers send.
          {"<a href=\"?q=&#1096;\">", {"http://h/d/p.html?q=%26%231096%3B"}},
      },
      "http://h/d/p.html");
}

TEST(LinkListing, CharacterReferencesAreDecodedAsBrowsersDo) {
  ExpectListed(
      {
          {"<a href=\"?a=1&amp;b=2\">", {"http://h/p?a=1&b=2"}},
          {"<a href=\"mailto:x&#64;y.org\">", {"mailto:x@y.org"}},
          {"<a href=\"?p&copy=1&not\">", {"http://h/p?p&copy=1%AC"}},
          {"<a href=\"&#x2F;x&#47;&sol;y\">", {"http://h/x//y"}},
          {"<a href=\"?&amp\">", {"http://h/p?&"}},
      },
      "http://h/p");
}

TEST(LinkListing, NulBytesNeitherEndThePageNorTheLink) {
  ExpectListed(
      {
          {std::string("<a href=a>\0<a href=b>", 21), {"http://h/a", "http://h/b"}},
          {std::string("<a href=\"x\0y\">", 15), {"http://h/x%EF%BF%BDy"}},
      },
      "http://h/");
}

TEST(LinkListing, TheHeaderShowsTheBaseItIsGiven) {
  PageFile page("<html><a href=\"one.html\">1</a></html>");
  TRecordingSink window;
  TRecordingSink& sink = window;
  ListLinks(sink, page.path(), "http://h/d/", "http://h/d/index.html", {"http://h/e/f", ""});
  std::vector<std::string> expected = Header("http://h/d/index.html", "http://h/d/");
  expected.emplace_back("http://h/e/one.html");
  EXPECT_EQ(window.ResultLines, expected);
  EXPECT_EQ(window.FilterReads, 1);
}

TEST(LinkListing, PagesWithoutAnyLinkGiveTheHeaderAlone) {
  for (const char* html : {"", "plain text", "{\"json\": [1, 2]}", "<p>no anchors</p>", "<a href=x",
                           "<script><a href=x></script>"})
    EXPECT_EQ(Listed(html, "http://h/"), std::vector<std::string>{}) << html;
}

TEST(LinkListing, AnAnchorThatOpensThePageIsListed) {
  EXPECT_EQ(Listed("<a href=first.html>f</a><a href=second.html>", "http://h/"),
            (std::vector<std::string>{"http://h/first.html", "http://h/second.html"}));
}

TEST(LinkListing, TabsAndLineBreaksInAnHrefCannotForgeResultLines) {
  EXPECT_EQ(Listed("<a href=\"a.html\n#===========#\r\n# Links From: forged\tx\">a</a>"
                   "<a href=\"b\t.html\">b</a><a href=\"http://[\n::1\">",
                   "http://h/"),
            (std::vector<std::string>{"http://h/a.html#===========##%20Links%20From:%20forgedx",
                                      "http://h/b.html", "http://[::1"}));
}

struct FilterCase {
  TFilterSettings filter;
  std::vector<std::string> links;
};

TEST(LinkListing, KeywordFilterLooksAtTheDecodedHrefWithCaseRespected) {
  const std::string html =
      "<p><a href=\"/Shop/a\"><a href=\"/shop/b\"><a href=\"&#x3F;s&amp;hop\">"
      "<a href=\"http://shop.example/c\">";
  const std::string page = "http://base.example/shopping/";
  const std::string query = "http://base.example/shopping/?s&hop";
  const std::vector<FilterCase> cases = {
      {{false, 0, "shop"},
       {"http://base.example/Shop/a", "http://base.example/shop/b", query,
        "http://shop.example/c"}},
      {{true, 0, "shop"}, {"http://base.example/shop/b", "http://shop.example/c"}},
      {{true, 1, "shop"}, {"http://base.example/Shop/a", query}},
      {{true, 7, "shop"}, {"http://base.example/Shop/a", query}},  // any other mode: Not Having
      {{true, 0, "Shop"}, {"http://base.example/Shop/a"}},
      {{true, 0, "?s&h"}, {query}},     // the references decoded
      {{true, 0, "base.example"}, {}},  // only in the page's address: relative links dropped
      {{true, 0, ""}, {}},              // the empty keyword never occurs
      {{true, 1, ""},
       {"http://base.example/Shop/a", "http://base.example/shop/b", query,
        "http://shop.example/c"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Listed(html, page, c.filter), c.links)
        << c.filter.Enabled << " " << c.filter.Mode << " " << c.filter.Keyword;
}

TEST(LinkListing, AFilterChangeAppliesFromTheNextLink) {
  PageFile page("<p><a href=a1><a href=b2><a href=a3>");
  TRecordingSink window;
  window.OnReadFilter = [](TRecordingSink& w) {
    if (w.FilterReads == 2) w.Filter = {true, 0, "a"};
  };
  TRecordingSink& sink = window;
  ListLinks(sink, page.path(), "http://h/", "http://h/", {"http://h/", ""});
  EXPECT_EQ(std::vector<std::string>(window.ResultLines.begin() + 4, window.ResultLines.end()),
            (std::vector<std::string>{"http://h/a1", "http://h/a3"}));
}

TEST(LinkListing, UnreadablePageRaisesTheFileErrorBeforeAnyLine) {
  TRecordingSink window;
  TRecordingSink& sink = window;
  EXPECT_THROW(ListLinks(sink, ::testing::TempDir() + "movrek_no_such_page", "/", "p", {"p", ""}),
               EFileOpenError);
  EXPECT_TRUE(window.ResultLines.empty());
  EXPECT_EQ(window.FilterReads, 0);
}

}  // namespace
}  // namespace movrek
