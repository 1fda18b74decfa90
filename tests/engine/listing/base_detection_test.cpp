#include "engine/listing/base_detection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "engine/listing/text_between.h"
#include "html/html_errors.h"

namespace movrek {
namespace {

using namespace std::string_literals;

std::string WritePage(const std::string& content) {
  static int counter = 0;
  // The process id keeps test cases run side by side off each other's files.
  const std::string path = ::testing::TempDir() + "movrek_base_" + std::to_string(::getpid()) +
                           "_" + std::to_string(++counter);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

struct Detection {
  std::string page;
  std::string declared;
};

TEST(BaseDetection, DeclaredBaseIsTheTextBetweenTheQuotesAfterBaseHref) {
  std::vector<Detection> cases = {
      {"<HEAD><BASE HREF=\"abc/\"></HEAD>", "abc/"},
      {"<head>\n<base href=\"http://x/Y/\">\n", "http://x/Y/"},
      {"<base  href=\"x\">", "NONE"},
      {"<base target=_top href=\"x\">", "NONE"},
      {"<!-- Base Href=\"c/\" -->\r\n<base href=\"real/\">", "c/"},
      {"<base href='x/'>", ""},
      {"<base href=x/>", ""},
      {"<base href=\"open> rest\r\nnext\"", "open> rest"},
      {"<base href=\"NONE\">", "NONE"},
      {"<p>\0<base href=\"x\">"s, "NONE"},
      {"<base href=\n\"x\">", ""},
      {"", "NONE"},
      // Long texts, searched sixteen places at a time: near misses before
      // the words, and the words at every place of a block and at the end.
      {std::string(40, 'b') + "bas href base-href base hre bASE hREF=\"far/\"", "far/"},
      {std::string(37, '.') + "base href", ""},
  };
  for (std::size_t pad = 0; pad < 36; ++pad) {
    cases.push_back({std::string(30 + pad, ' ') + "base href=\"p\"", "p"});
  }
  for (const auto& c : cases) {
    const std::string path = WritePage(c.page);
    EXPECT_EQ(DetectBase(path), c.declared) << c.page;
    std::remove(path.c_str());
  }
}

struct Choice {
  std::string page;
  std::string final_address;
  std::string base;
};

TEST(BaseDetection, ChosenBaseAlwaysEndsWithASlash) {
  const std::vector<Choice> cases = {
      {"<p>", "http://h/dir/page.html", "http://h/dir/"},
      {"<p>", "http://h/dir/", "http://h/dir/"},
      {"<p>", "http://h/", "http://h/"},
      {"<p>", "http://h/a/b:c", "http://h/a/b:/"},
      {"<p>", "http://h/a?x=/y/z", "http://h/a?x=/y/"},
      // Nothing after the host: the base is the host's root.
      {"<p>", "http://h", "http://h/"},
      {"<p>", "https://h:8443", "https://h:8443/"},
      {"<p>", "http://h?q=/x", "http://h/"},
      {"<p>", "http://h#frag", "http://h/"},
      {"<p>", "Web+x.y-z://h?q=/x", "Web+x.y-z://h/"},
      {"<BASE HREF=\"abc/\">", "http://h/x/y", "abc/"},
      {"<base href=\"http://o/p\">", "http://h/x/y", "http://o/p/"},
      {"<base href=''>", "http://h/x/y", "/"},
      {"<base href=\"NONE\">", "http://h/x/y", "http://h/x/"},
  };
  for (const auto& c : cases) {
    const std::string path = WritePage(c.page);
    EXPECT_EQ(ChooseBase(path, c.final_address), c.base) << c.page << " " << c.final_address;
    std::remove(path.c_str());
  }
}

TEST(BaseDetection, UnreadablePageRaisesTheFileError) {
  EXPECT_THROW(DetectBase(::testing::TempDir() + "movrek_no_such_base"), EFileOpenError);
}

TEST(TextBetween, DelimitersAndPositions) {
  EXPECT_EQ(TextBetween("base href=\"a/b\" x", "\"", "\""), "a/b");
  EXPECT_EQ(TextBetween("base href=\"a/b", "\"", "\""), "a/b");
  EXPECT_EQ(TextBetween("base href=a", "\"", "\""), "");
  EXPECT_EQ(TextBetween("x[]y", "[", "]"), "");
  EXPECT_EQ(TextBetween("<<a>>b>", "<<", ">"), "a");
  EXPECT_EQ(PosFrom(1, "abcabc", "bc"), 2u);
  EXPECT_EQ(PosFrom(3, "abcabc", "bc"), 5u);
  EXPECT_EQ(PosFrom(6, "abcabc", "bc"), 0u);
  EXPECT_EQ(PosFrom(9, "abc", "c"), 0u);
}

}  // namespace
}  // namespace movrek
