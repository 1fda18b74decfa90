// The anchors a browser lists, with parse5 (the HTML parser of Node.js) as the
// browser: generated pages of the markup that hides or reveals anchors must
// give, as a element start tags of the tokenizer (HTML, outside <template>
// content, with an href decoded as an attribute value), parse5's anchors.
//
// The generator keeps to markup whose anchors stand in the tree as their tags
// stand in the page: every anchor is closed right away and none is open when
// another starts (the tree builder would clone it or close it early: adoption
// agency, reconstructed formatting elements), and no <table> (foster
// parenting moves anchors), <select> (drops them) or <frameset>. <noframes> is
// left out too: parse5 reads it as an ordinary element in <body>, where the
// standard makes its content text.
#include <gtest/gtest.h>

#include <cstddef>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "html/character_references.h"
#include "html/html_tokenizer.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

// Anchors whose hrefs are to be found or not, depending on what surrounds them.
const std::vector<std::string_view> kHrefs = {
    "x", "/p?a=1&b=2", "&amp;q", "a&copy=1", "&lt;x&gt;", "#t", "\xC3\xA9&eacute", "a b", "'q'",
};

// Markup around anchors; "@" stands for an anchor. Those that leave something
// open are used at the end of a page only.
const std::vector<std::string_view> kWrappers = {
    "<p>@</p>",
    "<div class=\"a<b\">@</div>",
    "x < y and @",
    "if (a<b) @",
    "<<@",
    "a <3 b @",
    "@</ x>",
    "</>@",
    "<?php echo '@'; ?>@",
    "<!x>@",
    "</p >@</div/>",
    "<span>@</span >",
    // Scripts: strings and comments that hold markup, the end tags that end one.
    "<script>var s = '@';</script>@",
    "<script>document.write(\"@\")</script >@",
    "<script>x = 1 < 2; // @\n</script\n>@",
    "<SCRIPT>y('@')</SCRIPT foo=\"\">@",
    "<script>z='</scripts>@'</script>@",
    "<script><!-- w('@') --></script>@",
    "<script><!--<script>'</script>@';</script>@",
    "<script><!--<script></script>-->@</script>@",
    "<script><!--<script>-->@</script>@",
    "<script><!--<script>@</script>@</script>@",
    // Comments, conditional comments and bogus ones.
    "<!-- @ -->@",
    "<!-- a > b @ -->@",
    "<!-->@",
    "<!--->@",
    "<!-- x --!>@",
    "<!-- x -- y -->@",
    "<!--[if lte IE 9]>@<![endif]-->@",
    "<![if !IE]>@<![endif]>",
    "<!--[if !IE]><!-->@<!--<![endif]-->",
    "<![CDATA[ @ ]]>@",
    // Text modes.
    "<title>@</title>@",
    "<textarea>@</TEXTAREA >@",
    "<style>a<b{} @</style>@",
    "<noscript>@</noscript>@",
    "<iframe>@</iframe>@",
    "<noembed>@</noembed>@",
    "<xmp>@</xmp>@",
    "<title>@</titlex>@</title>@",
    // Foreign content.
    "<svg>@</svg>@",
    "<svg><![CDATA[@]]></svg>@",
    "<svg><style>@</style></svg>@",
    "<svg><foreignObject>@</foreignObject></svg>@",
    "<svg><desc>@</desc></svg>",
    "<svg><p>@</p>",
    "<svg><div>@</div>",
    "<math><mi>@</mi></math>@",
    "<math>@</math>",
    "<math><mtext>@</mtext><mi><svg>@</svg></mi></math>",
    "<math><annotation-xml encoding=\"text/html\">@</annotation-xml></math>@",
    // Template content.
    "<template>@</template>@",
    "<template><div>@<template>@</template>@</div></template>@",
};

const std::vector<std::string_view> kOpenEnds = {
    "<!-- @",
    "<script>'@'",
    "<script><!--<script>@",
    "<title>@",
    "<style>@",
    "<svg><![CDATA[@",
    "<template>@",
    "<a href=\"x",
    "<a href=y ",
    "<",
    "<plaintext>@</plaintext>@",
    "<!DOCTYPE",
};

const std::vector<std::string_view> kStarts = {
    "",
    "<!DOCTYPE html>",
    "<html><head><title>t</title></head><body>",
    "<meta charset=utf-8>",
};

class TPageGenerator {
 public:
  explicit TPageGenerator(unsigned seed) : random_(seed) {}

  std::string Page() {
    std::string page(Pick(kStarts));
    for (int n = 1 + Below(5); n > 0; --n) {
      page += Fill(Pick(kWrappers));
    }
    if (Below(3) == 0) {
      page += Fill(Pick(kOpenEnds));
    }
    return page;
  }

 private:
  int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <class T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Below(static_cast<int>(from.size())))];
  }

  std::string Anchor() {
    const std::string_view href = Pick(kHrefs);
    switch (Below(4)) {
      case 0:
        return "<a href=\"" + std::string(href) + "\">t</a>";
      case 1:
        return "<A title=t HREF='" + std::string(href) + "'>t</A>";
      case 2:
        return "<a id=i href=" + std::string(href.substr(0, href.find_first_of(" '"))) + ">t</a>";
      default:
        return "<a name=n>t</a>";
    }
  }

  std::string Fill(std::string_view wrapper) {
    std::string out;
    for (const char c : wrapper) {
      out += c == '@' ? Anchor() : std::string(1, c);
    }
    return out;
  }

  std::mt19937 random_;
};

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += kDigits[static_cast<unsigned char>(c) >> 4];
    out += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

class TLinkLine final : public THtmlTokenSink {
 public:
  void OnStartTag(const THtmlStartTag& tag) override {
    const THtmlAttribute* href = tag.Find("href");
    if (tag.Name != "a" || tag.Namespace != THtmlNamespace::Html || tag.InTemplate || !href) {
      return;
    }
    std::string decoded;
    AppendAttributeDecoded(href->Value, decoded);
    line += (count++ == 0 ? "" : " ") + Hex(decoded);
  }
  std::string line;
  int count = 0;
};

std::string OurLinks(std::string_view page) {
  TLinkLine links;
  THtmlTokenizer tokenizer(links);
  tokenizer.Feed(page);
  tokenizer.Finish();
  return links.line;
}

TEST(TokenizerPeer, AnchorsOfGeneratedPagesAreParse5s) {
  MOVREK_REQUIRE_PEER("node");
  const std::string modules = MOVREK_SOURCE_DIR "/tests/peers/node/node_modules";
  MOVREK_REQUIRE_NODE_MODULE(modules, "parse5");
  TPageGenerator generator(30);
  std::vector<std::string> pages;
  std::string joined;
  for (int i = 0; i < 3000; ++i) {
    pages.push_back(generator.Page());
    joined += (i == 0 ? "" : "\x01") + pages.back();
  }
  test::TempDir dir;
  std::string output;
  ASSERT_EQ(test::RunCommand({"node", MOVREK_SOURCE_DIR "/tests/html/parse5_hrefs.js", modules,
                              dir.Write("pages", joined), "--links"},
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
    const std::string ours = OurLinks(page);
    if (ours != theirs && ++differing == 1) {
      ADD_FAILURE() << "page:\n" << page << "\nours:   " << ours << "\nparse5: " << theirs;
    }
  }
  EXPECT_EQ(differing, 0) << "pages whose anchors differ, of " << pages.size();
}

}  // namespace
}  // namespace movrek
