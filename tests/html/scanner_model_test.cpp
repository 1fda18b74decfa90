// The fast scanner against the plain model of the scan, and the in-place line
// end conversion against splitting and joining, on many generated texts.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "html/html_document.h"
#include "html/text_file.h"
#include "tests/html/reference_scan.h"

namespace movrek {
namespace {

// Texts made of the pieces that steer the scan, so that the odd corners
// (quotes in comments, script ends, stray brackets) come up often.
std::string RandomMarkup(std::mt19937& random, std::size_t pieces) {
  static const std::vector<std::string> kPieces = {
      "<",      ">",        "!",         "\"",         "'",     "*",        "/",
      "=",      "\\",       " ",         "\r",         "\n",    "\t",       "\b",
      "\x01",   "a",        "href",      "x y",        "<a ",   "<a href=", "</",
      "//",     "/*",       "*/",        "<!--",       "<!---", "-->",      "script",
      "SCRIPT", "<script>", "</script>", "</SCRIPT >", "\r\n",  "\xe9",     "<!DOCTYPE html>",
      "<p>",    "  ",       "--",
  };
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::string text;
  for (std::size_t i = 0; i < pieces; ++i) text += kPieces[pick(random)];
  return text;
}

std::vector<movrek::testing::TReferenceElement> ScannerElements(THTMLObject& document) {
  std::vector<movrek::testing::TReferenceElement> elements;
  for (int i = 0; i < document.Elements.Count(); ++i) {
    THTMLElement* element = document.Elements.ObjectAt(i);
    const int kind = dynamic_cast<TTagObject*>(element)      ? 1
                     : dynamic_cast<TScriptObject*>(element) ? 4
                                                             : 0;
    elements.push_back({kind, element->SourceText});
  }
  return elements;
}

TEST(ScannerModel, FastScanMakesWhatThePlainScanMakes) {
  std::mt19937 random(20261207);
  int with_script = 0;
  for (int round = 0; round < 3000; ++round) {
    const std::string line = RandomMarkup(random, 1 + round % 60);
    const auto expected = movrek::testing::ReferenceScan(line + "\r\n");
    for (const auto& element : expected.Elements) with_script += element.Kind == 4;
    for (bool hooked : {false, true}) {
      THTMLObject document;
      std::vector<std::string> warnings;
      document.OnWarning = [&warnings](THTMLObject&, std::int32_t, const std::string& message,
                                       bool&) { warnings.push_back(message); };
      if (hooked) document.OnElement = [](THTMLObject&, std::uint8_t, THTMLElement&, bool&) {};
      document.LoadFromStrings({line});
      ASSERT_EQ(ScannerElements(document), expected.Elements) << "text: " << line;
      ASSERT_EQ(warnings, expected.Warnings) << "text: " << line;
    }
  }
  EXPECT_GT(with_script, 300);  // the generator reaches SCRIPT content often
}

TEST(ScannerModel, LineEndConversionEqualsSplittingAndJoining) {
  std::mt19937 random(7);
  const std::string alphabet("ab\r\n\r\n\0", 7);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 5000; ++round) {
    std::string bytes;
    for (int i = round % 70; i > 0; --i) bytes += alphabet[pick(random)];
    std::string joined;
    ForEachLine(bytes, [&joined](std::string_view line) {
      joined.append(line).append("\r\n");
      return true;
    });
    std::string converted = bytes;
    NormalizeLineEnds(converted);
    ASSERT_EQ(converted, joined) << "round " << round;
  }
}

TEST(ScannerModel, SearchesFindTheFirstAndLastOfTwoBytesAtEveryOffset) {
  for (std::size_t size = 0; size < 40; ++size) {
    for (std::size_t at = 0; at <= size; ++at) {
      std::string text(size, 'x');
      if (at < size) text[at] = (at % 2) ? '<' : '>';
      const char* end = text.data() + size;
      EXPECT_EQ(FindFirstOf2(text.data(), end, '<', '>'), at < size ? text.data() + at : end);
      EXPECT_EQ(FindLastOf2(text.data(), end, '<', '>'), at < size ? text.data() + at : nullptr);
    }
  }
}

}  // namespace
}  // namespace movrek
