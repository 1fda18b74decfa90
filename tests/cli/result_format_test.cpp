// A page's record as text blocks, TSV lines and JSON objects.
#include "cli/result_format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using movrek::FormatPage;
using movrek::JsonString;
using movrek::TPageResult;
using movrek::TResultFormat;
using movrek::TsvField;

TPageResult ListedPage() {
  TPageResult page;
  page.Line = " h/p ";
  page.Address = "http://h/p";
  page.FinalUrl = "http://h/q";
  page.StatusText = "OK : ";
  page.HttpStatus = 200;
  page.Listed = true;
  page.Base = "http://h/";
  page.Links = {"http://h/a", "http://h/b"};
  page.Bytes = 42;
  page.ElapsedMs = 7;
  return page;
}

TEST(ResultFormat, EachFormatOfAListedAndAFailedPage) {
  // What a refused connection leaves: no HTTP answer, a reason.
  TPageResult failed;
  failed.Line = "h:1";
  failed.Address = failed.FinalUrl = "http://h:1";
  failed.StatusText = "NETWORK ERROR or DOMAIN DOES NOT EXIST. ";
  failed.Reason = "socket error 10061, Connection refused";
  TPageResult cut = ListedPage();
  cut.ContentType = "text/html";
  cut.Truncated = true;
  cut.Links.clear();
  TPageResult skipped = failed;
  skipped.StatusText = "SKIPPED, NOT HTML. ";
  skipped.Skipped = true;
  skipped.HttpStatus = 200;
  skipped.ContentType = "application/pdf";
  skipped.Reason.clear();
  const struct {
    TResultFormat format;
    const TPageResult page;
    const char* line_end;
    std::string expected;
  } cases[] = {
      {TResultFormat::Text, ListedPage(), "\r\n",
       "#===========#\r\n# Links From: http://h/p\r\n# Baseurl: http://h/\r\n#===========#\r\n"
       "http://h/a\r\nhttp://h/b\r\n"},
      {TResultFormat::Text, failed, "\n", ""},
      {TResultFormat::Tsv, ListedPage(), "\n", "http://h/q\thttp://h/a\nhttp://h/q\thttp://h/b\n"},
      {TResultFormat::Tsv, failed, "\n", ""},
      {TResultFormat::TsvWithStatus, ListedPage(), "\n",
       "http://h/q\thttp://h/a\t200\nhttp://h/q\thttp://h/b\t200\n"},
      {TResultFormat::Jsonl, ListedPage(), "\n",
       R"({"url":" h/p ","final_url":"http://h/q","status":"OK :","outcome":"ok",)"
       R"("http_status":200,)"
       R"("reason":null,"base":"http://h/","links":["http://h/a","http://h/b"],"bytes":42,)"
       R"("content_type":null,"truncated":false,"elapsed_ms":7})"
       "\n"},
      {TResultFormat::Jsonl, cut, "\n",
       R"({"url":" h/p ","final_url":"http://h/q","status":"OK :","outcome":"ok",)"
       R"("http_status":200,)"
       R"("reason":null,"base":"http://h/","links":[],"bytes":42,"content_type":"text/html",)"
       R"("truncated":true,"elapsed_ms":7})"
       "\n"},
      {TResultFormat::Jsonl, skipped, "\n",
       R"({"url":"h:1","final_url":"http://h:1","status":"SKIPPED, NOT HTML.",)"
       R"("outcome":"skipped","http_status":200,)"
       R"("reason":null,"base":null,"links":[],"bytes":0,"content_type":"application/pdf",)"
       R"("truncated":false,"elapsed_ms":0})"
       "\n"},
      {TResultFormat::Jsonl, failed, "\n",
       R"({"url":"h:1","final_url":"http://h:1","status":"NETWORK ERROR or DOMAIN DOES NOT )"
       R"(EXIST.","outcome":"failed","http_status":null,"reason":"socket error 10061, Connection refused",)"
       R"("base":null,"links":[],"bytes":0,"content_type":null,"truncated":false,)"
       R"("elapsed_ms":0})"
       "\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    FormatPage(c.page, c.format, c.line_end, out);
    EXPECT_EQ(out, c.expected);
  }
}

// A page of many links goes out in pieces that join to the whole text.
TEST(ResultFormat, FlushedPiecesJoinToTheWholeText) {
  TPageResult page = ListedPage();
  page.Links.assign(20000, "http://h/some/long/enough/path/to/fill/the/pieces");
  for (const TResultFormat format : {TResultFormat::Text, TResultFormat::TsvWithStatus}) {
    std::string whole;
    FormatPage(page, format, "\r\n", whole);
    std::string joined;
    std::string out;
    int flushes = 0;
    FormatPage(page, format, "\r\n", out, [&](std::string& text) {
      joined += text;
      text.clear();
      ++flushes;
    });
    EXPECT_EQ(joined + out, whole);
    EXPECT_GT(flushes, 10);
  }
}

TEST(ResultFormat, TsvFieldEscapes) {
  EXPECT_EQ(TsvField("a\tb\nc\rd\\e"), "a\\tb\\nc\\rd\\\\e");
  EXPECT_EQ(TsvField("plain"), "plain");
  EXPECT_EQ(TsvField("a\x1b[41mb\x07"), "a?[41mb?");
}

TEST(ResultFormat, JsonStringIsValidUtf8WhateverTheBytes) {
  const struct {
    std::string bytes;
    std::string expected;
  } cases[] = {
      {"a\"b\\c", R"("a\"b\\c")"},
      {std::string("\x01\x1f\x7f\t\n\r", 6), R"("\u0001\u001f\u007f\t\n\r")"},
      {std::string("a\0b", 3), R"("a\u0000b")"},
      {"csi \xC2\x9B nbsp \xC2\xA0", "\"csi \\u009b nbsp \xC2\xA0\""},  // C1 escaped
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
      {"\xE9t\xE9", "\"\xEF\xBF\xBDt\xEF\xBF\xBD\""},                                // Latin-1
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                                  // overlong "/"
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},                  // surrogate
      {"\xF4\x90\x80\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // > U+10FFFF
      {"\xE2\x82", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                                  // cut short
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.bytes), c.expected);
}

}  // namespace
