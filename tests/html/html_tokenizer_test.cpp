// The tokenizer's reading of the markup that decides which anchors a page
// has, as the HTML standard's tokenizer and its tree builder's text modes
// read it: each case fed whole, byte by byte and in random pieces.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/html/token_recorder.h"

namespace movrek {
namespace {

using enum TTokenizerStart;

// Small, so that a dropped tag is cheap to write; every other tag is shorter.
constexpr std::size_t kSmallMaxTag = 64;

struct TCase {
  std::string Input;
  std::string Tokens;  // as token_recorder.h writes them
  TTokenizerStart Start = Data;
  std::string_view LastStartTag = {};
};

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      // The first element of the page is a tag like any other.
      {"<a href=x>", "<a href=\"x\">"},
      {"<A HREF='y' href=z>t</a>", "<a href=\"y\">«t»</a>"},
      {"<a href=x/>", "<a href=\"x/\">"},
      {"<a/href=\"x\"/>", "<a href=\"x\"/>"},
      {"<a href=\"a>b\" id='\"'>", "<a href=\"a>b\" id=\"\"\">"},
      // Markup in a script's strings and comments is text.
      {"<script>var ad = '<div id=\"b\"></div>';</script><a href=x>",
       "<script>W«var ad = '<div id=\"b\"></div>';»</script><a href=\"x\">"},
      {"<script>s = \"<a href=y>\"; // </a></script>",
       "<script>W«s = \"<a href=y>\"; // </a>»</script>"},
      {"<script>x</script ><a href=1>", "<script>W«x»</script><a href=\"1\">"},
      {"<script>x</script\n><a href=2>", "<script>W«x»</script><a href=\"2\">"},
      {"<script>x</SCRIPT foo=\"\"><a href=3>", "<script>W«x»</script><a href=\"3\">"},
      {"<script>x</scripts></script/>", "<script>W«x</scripts>»</script>"},
      // Escaped and double-escaped script data.
      {"<script><!-- </script><a href=4>", "<script>W«<!-- »</script><a href=\"4\">"},
      {"<script><!--<script>'</script>';</script><a href=5>",
       "<script>W«<!--<script>'</script>';»</script><a href=\"5\">"},
      {"<script><!--<script></script>--></script><a href=6>",
       "<script>W«<!--<script></script>-->»</script><a href=\"6\">"},
      {"<script><!--<script></script><a href=7></script><a href=8>",
       "<script>W«<!--<script></script><a href=7>»</script><a href=\"8\">"},
      {"<script><!--<script>--></script><a href=9>",
       "<script>W«<!--<script>-->»</script><a href=\"9\">"},
      // Comments, also those a browser ends early or late.
      {"<!-- a > b <a href=\"old\"> --><a href=new>",
       "<!-- a > b <a href=\"old\"> --><a href=\"new\">"},
      {"<!--><a href=1>", "<!----><a href=\"1\">"},
      {"<!---><a href=2>", "<!----><a href=\"2\">"},
      {"<!-- x --!><a href=3>", "<!-- x --><a href=\"3\">"},
      {"<!-- x -- y --><a href=4>", "<!-- x -- y --><a href=\"4\">"},
      {"<!--[if lte IE 9]><a href=\"old\"><![endif]--><a href=5>",
       "<!--[if lte IE 9]><a href=\"old\"><![endif]--><a href=\"5\">"},
      {"<![if !IE]><a href=6><![endif]>", "<!--[if !IE]--><a href=\"6\"><!--[endif]-->"},
      {"<!-- <a href=never>", "<!-- <a href=never>-->"},
      // Bogus comments and the DOCTYPE.
      {"<?php echo '<a href=x>'; ?>", "<!--?php echo '<a href=x-->«'; ?>»"},
      {"</ a><!x></>", "<!-- a--><!--x-->"},
      {"<!DOCTYPE html><a href=1>", "<!DOCTYPE html><a href=\"1\">"},
      // A stray "<" is text; a letter after it opens a tag.
      {"x < y and <a href=\"/real\">", "«x < y and »<a href=\"/real\">"},
      {"<<<a href=d>", "«<<»<a href=\"d\">"},
      {"if (a<b) <a href=c>", "«if (a»<b) <a=\"\" href=\"c\">"},
      {"a <3 b</3>", "«a <3 b»<!--3-->"},
      // RCDATA, RAWTEXT and PLAINTEXT: only the appropriate end tag ends them.
      {"<title><a href=1></title><a href=2>", "<title>R«<a href=1>»</title><a href=\"2\">"},
      {"<textarea></textareax></TEXTAREA >", "<textarea>R«</textareax>»</textarea>"},
      {"<style>a<b{}</style><a href=3>", "<style>W«a<b{}»</style><a href=\"3\">"},
      {"<noscript><a href=4></noscript>", "<noscript>W«<a href=4>»</noscript>"},
      {"<iframe><a href=5></iframe><xmp><a href=6></xmp>",
       "<iframe>W«<a href=5>»</iframe><xmp>W«<a href=6>»</xmp>"},
      {"<noembed><a></noembed><noframes><a></noframes>",
       "<noembed>W«<a>»</noembed><noframes>W«<a>»</noframes>"},
      {"<plaintext><a href=7></plaintext>", "<plaintext>W«<a href=7></plaintext>»"},
      // Fragments that start in a text mode.
      {"<a href=1></title><a href=2>", "R«<a href=1>»</title><a href=\"2\">", RcData, "title"},
      {"<a href=1></style>", "W«<a href=1></style>»", RawText, "xmp"},
      {"'</script>'<a href=2>", "W«'»</script>«'»<a href=\"2\">", ScriptData, "script"},
      {"</plaintext><a>", "W«</plaintext><a>»", PlainText},
      {"<a>]]><a href=3>", "C«<a>»<a href=\"3\">", CData},
      // CDATA sections in foreign content only; foreign elements open no text mode.
      {"<svg><![CDATA[<a href=o>]]></svg><a href=p>", "<svg:svg>C«<a href=o>»</svg><a href=\"p\">"},
      {"<![CDATA[<a href=q>]]><a href=r>", "<!--[CDATA[<a href=q-->«]]>»<a href=\"r\">"},
      {"<svg><style><a href=s></style><a href=t></svg>",
       "<svg:svg><svg:style><svg:a href=\"s\"></style><svg:a href=\"t\"></svg>"},
      {"<math><mi><a href=u></a></mi></math><a href=v>",
       "<math:math><math:mi><a href=\"u\"></a></mi></math><a href=\"v\">"},
      {"<svg><foreignObject><a href=w></svg>", "<svg:svg><svg:foreignobject><a href=\"w\"></svg>"},
      // Template content is no part of the document.
      {"<template><a href=1><template></template><a href=2></template><a href=3>",
       "<template><t:a href=\"1\"><t:template></template><t:a href=\"2\"></template><a "
       "href=\"3\">"},
      // Unclosed at the end: a tag is dropped, a comment or text kept.
      {"<a href=1><a href=\"2", "<a href=\"1\">"},
      {"<a href=1 ", ""},
      {"<scr", ""},
      {"a<", "«a<»"},
      // A tag longer than the bound is dropped, and only that tag.
      {"<a href=\"" + std::string(kSmallMaxTag, 'x') + "\"><a href=y>", "!<a href=\"y\">"},
      {"<!--" + std::string(3 * kSmallMaxTag, 'c') + "--><a href=z>",
       "<!--" + std::string(3 * kSmallMaxTag, 'c') + "--><a href=\"z\">"},
  };
  return cases;
}

std::string Tokens(const TCase& c, const std::vector<std::string_view>& pieces) {
  return test::RecordTokens(pieces, {c.Start, c.LastStartTag, kSmallMaxTag});
}

TEST(HtmlTokenizer, TokensAsABrowserReadsThemWholeByteByByteAndInPieces) {
  std::mt19937 random(30);
  for (const TCase& c : Cases()) {
    SCOPED_TRACE(c.Input);
    const std::string_view input = c.Input;
    EXPECT_EQ(Tokens(c, {input}), c.Tokens);
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < input.size(); ++i) bytes.push_back(input.substr(i, 1));
    EXPECT_EQ(Tokens(c, bytes), c.Tokens) << "byte by byte";
    for (int round = 0; round < 8; ++round) {
      std::vector<std::string_view> pieces;
      for (std::size_t at = 0; at < input.size();) {
        const std::size_t length = 1 + random() % 9;
        pieces.push_back(input.substr(at, length));
        at += length;
      }
      EXPECT_EQ(Tokens(c, pieces), c.Tokens) << "in " << pieces.size() << " pieces";
    }
  }
}

}  // namespace
}  // namespace movrek
