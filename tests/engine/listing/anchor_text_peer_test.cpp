// The text listed for each anchor is the text a browser shows for it, with
// parse5 (the HTML parser of Node.js) as the browser: generated pages of
// anchors holding text, references, white space, inline and block elements,
// comments, images and foreign content must give, anchor by anchor, parse5's
// textContent collapsed and cut (or the first alt that is not blank).
//
// The generator keeps to markup whose textContent is what a reader sees: no
// script, style or other raw text inside anchors (textContent holds their
// source), and anchors that the tree builder neither clones nor splits (each
// closed, or ended by the next anchor or the page, with its own elements
// closed inside it).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/listing/link_listing.h"
#include "engine/listing/listing_sink.h"
#include "engine/listing/page_links.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

const std::vector<std::string_view> kWords = {
    "word",
    "two words",
    "  spaced\t\n  out ",
    "\xC3\xA9t\xC3\xA9",
    "&amp;",
    "&lt;b&gt;",
    "&nbsp;x&nbsp;",
    "&#32;lead",
    "tab&#9;bed",
    "&copy 2026",
    "&eacute;t&eacute;",
    "a&b",
    "x &notit; y",
    "\r\nline\r\n",
    "&#x1F600;",
    "\xE2\x80\x83"
    "em",
    "",
};

// Markup around text inside an anchor; "@" stands for more content.
const std::vector<std::string_view> kInside = {
    "<b>@</b>",
    "<span class=\"a>b\">@</span>",
    "<em>@</em> @",
    "<div>@</div>",
    "<p>@</p>",
    "@<!-- hidden -->@",
    "@<br>@",
    "<img alt=\"picture\">@",
    "<IMG ALT='Big &amp; bold'>",
    "<img alt=\"\"><img alt=\"second\">",
    "<img alt=\" \"><img alt=\"after blank\">",
    "<img src=x.png>",
    "@<img alt=\"ignored when text\">",
    "<svg><text>svg @</text></svg>",
    "<code>@</code>",
    "<h2>@</h2>",
};

class TAnchorPageGenerator {
 public:
  explicit TAnchorPageGenerator(unsigned seed) : random_(seed) {}

  std::string Page() {
    std::string page = Below(2) == 0 ? "<!DOCTYPE html><body>" : "";
    const int anchors = 1 + Below(4);
    for (int i = 0; i < anchors; ++i) {
      page += Below(2) == 0 ? "<p>before " : "";
      page += Below(4) == 0 ? "<a name=n>no href</a>" : "";
      page += Below(3) == 0 ? "<A REL=\"nofollow ugc\" HREF=x>" : "<a href=\"/p\">";
      page += Content(2);
      const bool last = i + 1 == anchors;
      // The next anchor's start ends this one too; the page's end ends the last.
      const int end = Below(last ? 3 : 4);
      page += end == 0 ? "</a>" : end == 1 ? "</A >" : end == 2 && last ? "" : "</a>";
      page += Below(2) == 0 ? " after</p>" : " ";
    }
    return page;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Below(static_cast<int>(from.size())))];
  }

  std::string Content(int depth) {
    if (Below(12) == 0) {
      // Longer than what is shown: cut at the three hundredth character.
      std::string longer;
      for (int i = 0; i < 80; ++i) longer += "\xC3\xA9l\xC3\xA9 ";
      return longer;
    }
    if (depth == 0 || Below(3) == 0) {
      return std::string(Pick(kWords));
    }
    std::string out;
    for (const char c : Pick(kInside)) {
      out += c == '@' ? Content(depth - 1) : std::string(1, c);
    }
    return out;
  }

  std::mt19937 random_;
};

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (bytes.empty()) return "-";
  std::string out;
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

class TTextLine final : public TListingSink {
 public:
  void BeginBlock(const std::string& /*page*/, const std::string& /*base*/) override {}
  void AppendLink(TListedLink link) override { line += (line.empty() ? "" : " ") + Hex(link.Text); }
  std::string line;
};

std::string OurTexts(const std::string& page) {
  TPageLinks links(std::int64_t{64} << 20, true);
  links.Restart("text/html; charset=utf-8", "http://h/p");
  links.Feed(page);
  TTextLine texts;
  links.List(texts, "/nonexistent/page.xtr", "http://h/", "http://h/p");
  return texts.line;
}

TEST(AnchorTextPeer, TextsOfGeneratedAnchorsAreParse5s) {
  MOVREK_REQUIRE_PEER("node");
  const std::string modules = MOVREK_SOURCE_DIR "/tests/peers/node/node_modules";
  MOVREK_REQUIRE_NODE_MODULE(modules, "parse5");
  TAnchorPageGenerator generator(32);
  std::vector<std::string> pages;
  std::string joined;
  for (int i = 0; i < 2000; ++i) {
    pages.push_back(generator.Page());
    joined += (i == 0 ? "" : "\x01") + pages.back();
  }
  test::TempDir dir;
  std::string output;
  ASSERT_EQ(
      test::RunCommand({"node", MOVREK_SOURCE_DIR "/tests/engine/listing/parse5_anchor_texts.js",
                        modules, dir.Write("pages", joined)},
                       &output),
      0)
      << output;
  std::size_t start = 0;
  int differing = 0;
  for (const std::string& page : pages) {
    const std::size_t end = output.find('\n', start);
    ASSERT_NE(end, std::string::npos) << "parse5 answered fewer pages";
    const std::string theirs = output.substr(start, end - start);
    start = end + 1;
    const std::string ours = OurTexts(page);
    if (ours != theirs && ++differing <= 3) {
      ADD_FAILURE() << "page:\n" << page << "\nours:   " << ours << "\nparse5: " << theirs;
    }
  }
  EXPECT_EQ(differing, 0) << "pages whose anchor texts differ, of " << pages.size();
}

}  // namespace
}  // namespace movrek
