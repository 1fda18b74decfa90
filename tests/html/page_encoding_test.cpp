// A page's encoding as browsers sniff it, and its text both ways through it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "html/encoding_sniffing.h"
#include "html/page_text.h"
#include "html/text_encoding.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

using namespace std::string_literals;

struct SniffCase {
  std::string bytes;
  std::string contentType;
  std::string encoding;
  std::size_t bom = 0;
};

TEST(PageEncoding, ABomThenTheHeaderThenAMetaThenWindows1252) {
  const std::string meta_late = std::string(1020, ' ') + "<meta charset=koi8-r>";
  const std::vector<SniffCase> cases = {
      {"\xEF\xBB\xBF<meta charset=koi8-r>", "text/html; charset=latin1", "UTF-8", 3},
      {"\xFF\xFE<\0"s, "text/html; charset=utf-8", "UTF-16LE", 2},
      {"\xFE\xFF\0<"s, "", "UTF-16BE", 2},
      {"<meta charset=koi8-r>", "text/html; charset=windows-1251", "windows-1251"},
      {"", "text/html;charset=\"Shift_JIS\"", "Shift_JIS"},
      {"", "text/html; format=flowed; CHARSET= euc-kr ", "EUC-KR"},
      {"<meta charset=utf-8>", "text/html; charset=no-such-thing", "UTF-8"},
      {"<html><META CHARSET='KOI8-R'>", "", "KOI8-R"},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\">", "", "EUC-JP"},
      {"<meta content='text/html;charset = \"gbk\"' name=x http-equiv=content-type>", "", "GBK"},
      {"<meta content=\"text/html; charset=euc-jp\">", "", "windows-1252"},  // no pragma
      {"<meta/charset=big5>", "", "Big5"},
      {"text, 1 < 2 <<meta charset=big5>", "", "Big5"},  // the steps start at every "<"
      {"<p>x</p> <1meta charset=big5><meta charset=gbk>", "", "GBK"},
      {"<!-- <meta charset=utf-8> --><meta charset=koi8-u>", "", "KOI8-U"},
      {"<p title='<meta charset=utf-8>'><meta charset=iso-8859-2>", "", "ISO-8859-2"},
      {"<meta charset=bogus><meta charset=utf-8>", "", "UTF-8"},
      {"<meta charset=utf-16le>", "", "UTF-8"},
      {"<meta charset=x-user-defined>", "", "windows-1252"},
      {"<meta charset=latin1>", "", "windows-1252"},
      {meta_late, "", "windows-1252"},
      {"<p>plain</p>", "text/html", "windows-1252"},
  };
  for (const auto& c : cases) {
    const TSniffedEncoding sniffed = SniffEncoding(c.bytes, c.contentType);
    EXPECT_EQ(sniffed.Name, c.encoding) << c.bytes << " / " << c.contentType;
    EXPECT_EQ(sniffed.BomLength, c.bom) << c.bytes;
  }
}

struct CodingCase {
  std::string encoding;
  std::string bytes;
  std::string utf8;
};

TEST(PageEncoding, BytesDecodeToUtf8WithReplacementsWhereTheyMustBe) {
  const std::vector<CodingCase> cases = {
      {"windows-1252", "\x80\x81\xE9\x9F", "\u20AC\u0081\u00E9\u0178"},
      {"windows-1251", "\xCF\xF0\xE8", "\u041F\u0440\u0438"},
      {"Shift_JIS", "\x93\xFA\x96\x7B\xB1", "\u65E5\u672C\uFF71"},
      {"EUC-KR", "\xC7\xD1", "\uD55C"},
      {"ISO-2022-JP", "a\x1B$BF|\x1B(Bb", "a\u65E5b"},
      {"UTF-8", "a\xC3(\xE2\x82\xAC\xED\xA0\x80\xF0\x9F\x98",
       "a\uFFFD(\u20AC\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"UTF-8", "x\0y"s, "x\uFFFDy"},
      {"windows-1251", "x\0y"s, "x\uFFFDy"},
      {"UTF-16LE", "<\0\xFC\0"s, "<\u00FC"},
      {"x-user-defined", "a\x80", "a\uF780"},
      {"replacement", "<a href=x>", "\uFFFD"},
  };
  for (const auto& c : cases) {
    TTextEncoding encoding(c.encoding);
    std::string out;
    encoding.AppendDecoded(c.bytes, out);
    EXPECT_EQ(out, c.utf8) << c.encoding << " " << c.bytes;
  }
}

TEST(PageEncoding, Utf8EncodesBackWithReferencesForWhatTheEncodingLacks) {
  const std::vector<CodingCase> cases = {
      {"windows-1252", "\x80\x81\xE9&#1096;", "\u20AC\u0081\u00E9\u0448"},
      {"windows-1251", "\xCF\xF0\xE8", "\u041F\u0440\u0438"},
      {"Shift_JIS", "\x93\xFA&#8364;", "\u65E5\u20AC"},
      {"ISO-2022-JP", "a\x1B$BF|\x1B(Bb", "a\u65E5b"},
      {"x-user-defined", "a\x80&#233;", "a\uF780\u00E9"},
      {"UTF-16LE", "\xC3\xBC", "\u00FC"},  // queries of UTF-16 pages stay UTF-8
  };
  for (const auto& c : cases) {
    TTextEncoding encoding(c.encoding);
    std::string out;
    encoding.AppendEncoded(c.utf8, out);
    EXPECT_EQ(out, c.bytes) << c.encoding;
  }
}

TEST(PageEncoding, AUtf16PageIsReadAsUtf8Text) {
  test::TempDir dir;
  const std::string path = dir.Write("page.html", "\xFF\xFE<\0a\0\n\0\xFC\0"s);
  const TPageText page = ReadPageText(path, "text/html; charset=windows-1251");
  EXPECT_EQ(page.Text.View(), "<a\r\n\xC3\xBC\r\n");
  EXPECT_EQ(page.Encoding.Name(), "UTF-16LE");
  EXPECT_TRUE(page.TextIsUtf8);
}

}  // namespace
}  // namespace movrek
