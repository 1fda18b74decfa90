// Attribute values as parse5 (the reference HTML parser of Node.js) reads
// them: generated anchors full of character references, read by the scanner
// and decoded here, must give parse5's href for every one.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "html/character_references.h"
#include "html/html_document.h"
#include "html/tag_attribute.h"
#include "html/text_encoding.h"
#include "tests/helpers/peers.h"

namespace movrek {
namespace {

// Pieces a value is built from: references at their edges (no ";", legacy
// prefixes, "=" or a letter after them, numbers out of range) and the
// characters around them.
const std::vector<std::string> kPieces = {"&amp;",
                                          "&amp",
                                          "&ampx",
                                          "&amp=",
                                          "&AMP;",
                                          "&AMP",
                                          "&notit;",
                                          "&notin;",
                                          "&not",
                                          "&noti",
                                          "&copy",
                                          "&copy1",
                                          "&copy;",
                                          "&COPY",
                                          "&lt",
                                          "&ltx",
                                          "&LT;",
                                          "&nbsp",
                                          "&bogus;",
                                          "&;",
                                          "&",
                                          "&#",
                                          "&#x",
                                          "&#X41",
                                          "&#65",
                                          "&#065;",
                                          "&#x110000;",
                                          "&#xD800;",
                                          "&#0;",
                                          "&#128;",
                                          "&#x9F;",
                                          "&#x81;",
                                          "&#8364",
                                          "&#99999999999999999999;",
                                          "&#x;",
                                          "&#a",
                                          "&acE;",
                                          "&fjlig;",
                                          "&NotNestedGreaterGreater;",
                                          "&CounterClockwiseContourIntegral;",
                                          "&Aacute",
                                          "&aacute;",
                                          "&yuml",
                                          "&zwnj;",
                                          "&ngE;",
                                          "&frac12",
                                          "&frac1",
                                          "&supe",
                                          "&sup1",
                                          "&sup1;",
                                          "&in;",
                                          "&i",
                                          "a",
                                          "Z",
                                          "1",
                                          "=",
                                          ";",
                                          "#",
                                          "x",
                                          "?",
                                          "/",
                                          "%",
                                          "\xC3\xA9",
                                          "\xE2\x82\xAC",
                                          "'",
                                          "\"",
                                          " ",
                                          std::string(1, '\0'),
                                          "\t",
                                          "\xC3",
                                          "\xED\xA0\x80"};

std::string RandomValue(std::mt19937& random, char quote) {
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::uniform_int_distribution<int> length(0, 6);
  std::string value;
  for (int n = length(random); n > 0; --n) {
    const std::string& piece = kPieces[pick(random)];
    // What would end the value, or (in an unquoted one) make the scanner
    // read a quote, stays out: the scanner's tags are not on trial here.
    const bool unquoted = quote == 0;
    if ((unquoted &&
         (piece == "'" || piece == "\"" || piece == " " || piece == "\t" || piece == "=")) ||
        (!unquoted && piece.size() == 1 && piece[0] == quote)) {
      continue;
    }
    value += piece;
  }
  return value;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

// Our reading of every anchor's href, as parse5_hrefs.js prints it.
std::vector<std::string> OurHrefs(const std::string& page) {
  THTMLObject document;
  document.LoadFromDocumentText(TDocumentText::FromString(page));
  std::vector<std::string> hrefs;
  const TObjectsList& elements = document.Elements;
  for (int i = elements.FindTag(0, "A"); i >= 0; i = elements.FindTag(i + 1LL, "A")) {
    std::string_view written;
    if (!FindTagAttribute(elements.TagTextAt(i), "href", &written)) {
      hrefs.emplace_back("-");
      continue;
    }
    std::string characters;
    AppendValidUtf8(written, characters);
    std::string decoded;
    AppendAttributeDecoded(characters, decoded);
    hrefs.push_back(Hex(decoded));
  }
  return hrefs;
}

TEST(AttributePeer, HrefValuesDecodeAsParse5DecodesThem) {
  MOVREK_REQUIRE_PEER("node");
  const std::string modules = MOVREK_SOURCE_DIR "/tests/peers/node/node_modules";
  MOVREK_REQUIRE_NODE_MODULE(modules, "parse5");
  std::mt19937 random(21);
  std::string page = "<!DOCTYPE html><body>\n";
  for (int i = 0; i < 4000; ++i) {
    const char quote = "\"'\0"[i % 3];
    const std::string value = RandomValue(random, quote);
    const std::string written =
        quote == 0 ? value : std::string(1, quote) + value + std::string(1, quote);
    // The attribute among others, as pages write it.
    const std::string tags[] = {
        "<a title=t href=" + written + " id=i>",  "<a HREF = " + written + ">",
        "<a href=" + written + " href=second>",   "<a id=\"i\"href=" + written + ">",
        "<a hreflang=en/ href=" + written + "/>", "<a name=x>"};
    page += "<p>" + tags[random() % std::size(tags)];
    page += "x</a></p>\n";
  }
  test::TempDir dir;
  const std::string path = dir.Write("page.html", page);
  std::string output;
  ASSERT_EQ(test::RunCommand(
                {"node", MOVREK_SOURCE_DIR "/tests/html/parse5_hrefs.js", modules, path}, &output),
            0)
      << output;
  std::vector<std::string> theirs;
  for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
       start = end + 1)
    theirs.push_back(output.substr(start, end - start));
  const std::vector<std::string> ours = OurHrefs(page);
  ASSERT_EQ(ours.size(), theirs.size());
  int shown = 0;
  for (std::size_t i = 0; i < ours.size(); ++i) {
    if (ours[i] != theirs[i] && ++shown <= 10)
      ADD_FAILURE() << "anchor " << i << ": ours " << ours[i] << ", parse5 " << theirs[i];
  }
}

}  // namespace
}  // namespace movrek
