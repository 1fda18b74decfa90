#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "html/html_document.h"
#include "html/html_errors.h"

namespace movrek {
namespace {

using namespace std::string_literals;

// One line per element: "T" + name + "|attribute" per line for a tag, "X{...}"
// for text, "S{...}" for SCRIPT content.
std::string Describe(THTMLElement& element) {
  if (auto* tag = dynamic_cast<TTagObject*>(&element)) {
    std::string line = "T" + tag->TagName;
    for (const auto& attribute : tag->Attributes) line += "|" + attribute;
    return line;
  }
  auto& text = dynamic_cast<TNormalText&>(element);
  return (dynamic_cast<TScriptObject*>(&element) ? "S{" : "X{") + text.Content + "}";
}

std::vector<std::string> Describe(THTMLObject& document) {
  std::vector<std::string> lines;
  for (int i = 0; i < document.Elements.Count(); ++i)
    lines.push_back(Describe(*document.Elements.ObjectAt(i)));
  return lines;
}

struct ScanCase {
  const char* name;
  std::vector<std::string> lines;
  std::vector<std::string> elements;
  std::vector<std::string> warnings = {};
};

const std::vector<ScanCase>& ScanCases() {
  static const std::vector<ScanCase> cases = {
      {"QuotedHrefKeepsQuotesInTheLine",
       {"<a href=\"x.html\">Link</a>"},
       {"Ta|href=\"x.html\"", "X{Link}", "T/a"}},
      {"CapitalTagUnquotedValue", {"<A HREF=page.html>"}, {"TA|HREF=page.html"}},
      {"ApostrophesDoNotHoldWhiteSpace", {"<a href='x y'>"}, {"Ta|href='x|y'"}},
      {"BlanksAroundEqualsSplitTheAttribute", {"<a href = \"x\">"}, {"Ta|href|=|\"x\""}},
      {"UnquotedBangMakesTheTagText", {"<a href=#top!>t"}, {"X{<a href=#top!>}"}},
      {"QuotedBangKeepsTheTag", {"<a href=\"#top!\">"}, {"Ta|href=\"#top!\""}},
      {"GreaterThanInsideQuotesDoesNotEndTheTag",
       {"<a href=\"a>b\" title=x>"},
       {"Ta|href=\"a>b\"|title=x"}},
      {"EndTagAndSelfClosingNames", {"</a><a/><a />"}, {"T/a", "Ta/", "Ta|/"}},
      {"BlankAfterOpeningBracketEmptiesTheName", {"< a href=x>"}, {"T|a|href=x"}},
      {"TwoBlanksAddAnEmptyAttributeLine", {"<a  href=x>"}, {"Ta||href=x"}},
      {"LineBreakInsideATagCountsAsTwoWhiteSpaces", {"<a", "href=x>"}, {"Ta||href=x"}},
      {"LessThanInsideATagWarnsAndJoinsTheTag",
       {"<a href=\"x\" <b>"},
       {"Ta|href=\"x\"|<b"},
       {"13: \"<\" Symbol is ignored"}},
      {"CommentAroundAnAnchor",
       {"<!-- <a href=\"x\"> -->"},
       {"T!--|<a|href=\"x\""},
       {"6: \"<\" Symbol is ignored", "21: \">\" Symbol is ignored"}},
      {"QuoteInsideACommentRunsToTheNextLessThan", {"<!-- a=\"b\" --><p>"}, {"T!--|a=\"b\"|--><p"}},
      {"DoctypeIsText", {"<!DOCTYPE html><a href=x>"}, {"X{<!DOCTYPE html>}", "Ta|href=x"}},
      {"TextRunsKeepTheirLineBreaks", {"<p>one", "two<br>"}, {"Tp", "X{one\r\ntwo}", "Tbr"}},
      {"AnchorInsideScriptIsNoTag",
       {"<script>var a; <a href=y></script>"},
       {"Tscript", "S{var a; <a href=y>}", "T/script"}},
      {"ScriptCommentOpenerLineIsText",
       {"<script>", "<!--", "var x;", "// -->", "</script>"},
       {"Tscript", "X{<!--\r}", "S{\r\nvar x;\r\n// -->\r\n}", "T/script"}},
      {"QuotedLessThanInScriptSwallowsTheEndTag",
       {"<script>w(\"<a>\")</script><a href=x>"},
       {"Tscript"}},
      {"QuotedLessThanInScriptRunsToALaterEndTag",
       {"<script>w(\"<a>\")</script><a href=x></script><p>"},
       {"Tscript", "S{w(\"<a>\")</script><a href=x>}", "T/script", "Tp"}},
      {"ScriptEndTagWithBlankDoesNotEndIt", {"<SCRIPT>x</script >y<a href=z>"}, {"TSCRIPT"}},
      {"ScriptBlockCommentHidesQuotes",
       {"<script>/* it's */ var s = 'x';</script>"},
       {"Tscript", "S{/* it's */ var s = 'x';}", "T/script"}},
      {"StrayGreaterThanWarnsAndStaysText",
       {"a > b<p>"},
       {"X{a > b}", "Tp"},
       {"3: \">\" Symbol is ignored"}},
      {"TextAfterTheLastTagMakesNoElement", {"<p>tail"}, {"Tp"}},
      {"NothingButText", {"just text", "more"}, {}},
      {"UnclosedFirstTag", {"<a href=x", "y"}, {}},
      {"EmptyTagMakesNoElement", {"<>x<p>"}, {"X{x}", "Tp"}},
      {"NonAsciiBytesPassUnchanged",
       {"<a href=\"\xe9\xff\">\x80\x01<p>"},
       {"Ta|href=\"\xe9\xff\"", "X{\x80\x01}", "Tp"}},
  };
  return cases;
}

class ScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, MakesTheElementsAndWarnings) {
  const ScanCase& c = GetParam();
  THTMLObject document;
  std::vector<std::string> warnings;
  document.OnWarning = [&warnings](THTMLObject&, std::int32_t level, const std::string& message,
                                   bool&) {
    EXPECT_EQ(level, 1);
    warnings.push_back(message);
  };
  document.LoadFromStrings(c.lines);
  EXPECT_EQ(Describe(document), c.elements);
  EXPECT_EQ(warnings, c.warnings);
}

// The element hook makes the document build every element at once instead of
// keeping positions; both ways must give the same elements.
TEST_P(ScanTest, HookedScanGivesTheSameElementsInHookOrder) {
  const ScanCase& c = GetParam();
  THTMLObject document;
  std::vector<std::string> hooked;
  document.OnElement = [&hooked](THTMLObject&, std::uint8_t kind, THTMLElement& element, bool&) {
    const std::string line = Describe(element);
    const std::uint8_t expected = line[0] == 'T' ? EK_Tag : line[0] == 'S' ? EK_Script : EK_Text;
    EXPECT_EQ(kind, expected) << line;
    hooked.push_back(line);
  };
  document.LoadFromStrings(c.lines);
  EXPECT_EQ(Describe(document), c.elements);
  EXPECT_EQ(hooked, c.elements);
  for (int i = 0; i < document.Elements.Count(); ++i)
    EXPECT_EQ(document.Elements.ObjectAt(i)->OwnerDocument, &document);
}

// The listing's way through the anchors builds no objects; it must find the
// same tags and values as Next and AttributeValue.
TEST_P(ScanTest, NextAttributeValueAgreesWithNextAndAttributeValue) {
  THTMLObject built;
  THTMLObject lean;
  built.LoadFromStrings(GetParam().lines);
  lean.LoadFromStrings(GetParam().lines);
  for (const char* name : {"href", "", "title"}) {
    built.CurrentIndex = lean.CurrentIndex = -1;
    std::string value;
    while (TTagObject* tag = built.Next()) {
      ASSERT_TRUE(lean.NextAttributeValue(name, "-", &value));
      EXPECT_EQ(value, tag->AttributeValue(name, "-"));
      EXPECT_EQ(lean.CurrentIndex, built.CurrentIndex);
    }
    EXPECT_FALSE(lean.NextAttributeValue(name, "-", &value));
  }
}

INSTANTIATE_TEST_SUITE_P(Scanner, ScanTest, ::testing::ValuesIn(ScanCases()),
                         [](const auto& test_info) { return std::string(test_info.param.name); });

struct ValueCase {
  std::string tag;
  std::string value;
};

TEST(TagObject, AttributeValueStripsDoubleQuotesOnlyFromLongValues) {
  const std::vector<ValueCase> cases = {
      {"a href=\"x.html\"", "x.html"},
      {"A HREF=page.html", "page.html"},
      {"a HrEf='x'", "'x'"},
      {"a href=\"\"", "\"\""},
      {"a href=\"x\"", "x"},
      {"a href=\"x", "default"},  // a last token in an open quote is dropped
      {"a href=", ""},
      {"a href = \"x\"", "default"},
      {"a href=\"1\" href=\"2\"", "1"},
      {"a href=\"x y\"", "x y"},
      {"a href='x y'", "'x"},
      {"a title=\"t\" href=a=b", "a=b"},
      {"a hreflang=en", "default"},
      {"a href=\"ab", "default"},
      {"a x href=\"ab\" ", "ab"},
  };
  for (const auto& c : cases) {
    TTagObject tag(c.tag);
    EXPECT_EQ(tag.AttributeValue("href", "default"), c.value) << c.tag;
    EXPECT_EQ(TagAttributeValue(c.tag, "HREF", "default"), c.value) << c.tag;
  }
}

TEST(TagObject, TextFormAndParseOfBracketedText) {
  TTagObject tag("<a  href=x>");
  EXPECT_EQ(tag.TagName, "a");
  EXPECT_EQ(tag.GetText(), "<a  href=x>");
  EXPECT_TRUE(tag.IsTag("A"));
  EXPECT_FALSE(tag.IsTag("AB"));
  tag.SetText("b c");  // adds to what the tag holds
  EXPECT_EQ(tag.TagName, "b");
  EXPECT_EQ(tag.Attributes, (std::vector<std::string>{"", "href=x", "c"}));
  for (const char* empty : {"", "<", ">", "<>"}) {
    TTagObject nothing(empty);
    EXPECT_EQ(nothing.TagName, "");
    EXPECT_TRUE(nothing.Attributes.empty()) << empty;
  }
}

TEST(Document, FirstReturnsElementZeroAndNextSkipsIt) {
  THTMLObject document;
  document.LoadFromStrings({"<a href=x>t<A href=y><abbr><a/></a><a href=z>"});
  document.TagFilter = "a";
  auto* first = dynamic_cast<TTagObject*>(document.First());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->AttributeValue("href", ""), "x");
  std::vector<std::string> found;
  while (TTagObject* tag = document.Next()) found.push_back(tag->AttributeValue("href", ""));
  EXPECT_EQ(found, (std::vector<std::string>{"y", "z"}));
  EXPECT_EQ(document.CurrentIndex, document.Elements.Count() - 1);
  EXPECT_EQ(document.Next(), nullptr);

  document.TagFilter.clear();  // every tag
  document.First();
  int tags = 0;
  while (document.Next() != nullptr) ++tags;
  EXPECT_EQ(tags, 5);
}

TEST(Document, FirstOnAnEmptyDocumentRaisesTheListErrorAndKeepsTheIndex) {
  THTMLObject document;
  document.CurrentIndex = 3;
  for (const std::vector<std::string>& lines :
       {std::vector<std::string>{}, {"plain text"}, {"<a href=x"}}) {
    document.LoadFromStrings(lines);
    try {
      document.First();
      ADD_FAILURE() << "no error";
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), "List index out of bounds (0)");
    }
    EXPECT_EQ(document.CurrentIndex, 3);
  }
}

class CountingDocument : public THTMLObject {
 public:
  void AfterParse() override { ++after_parse; }
  int after_parse = 0;
};

TEST(Document, ClearingContinueLeavesAnEmptyDocumentAndStillRunsAfterParse) {
  CountingDocument document;
  int seen = 0;
  document.OnElement = [&seen](THTMLObject&, std::uint8_t, THTMLElement&, bool& go_on) {
    if (++seen == 2) go_on = false;
  };
  document.LoadFromStrings({"<p>a<b>c<d>"});
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(document.Elements.Count(), 0);
  EXPECT_EQ(document.after_parse, 1);

  document.OnElement = nullptr;
  document.OnWarning = [](THTMLObject&, std::int32_t, const std::string&, bool& go_on) {
    go_on = false;
  };
  document.LoadFromStrings({"<p>a>b<c>"});
  EXPECT_EQ(document.Elements.Count(), 0);
  EXPECT_EQ(document.after_parse, 2);
}

TEST(Document, LoadingAgainReplacesTheElements) {
  THTMLObject document;
  document.LoadFromStrings({"<a><b><c>"});
  TTagObject* old = document.Next();
  ASSERT_NE(old, nullptr);
  document.LoadFromStrings({"<x>"});
  EXPECT_EQ(Describe(document), std::vector<std::string>{"Tx"});
}

TEST(Document, LoadFromFileNormalisesLineEndsAndReadsOnPastNul) {
  const std::string path = ::testing::TempDir() + "movrek_scanner_load.html";
  {
    std::ofstream out(path, std::ios::binary);
    out << "<p>a\nb\rc\n\rd<q>e\0<z>"s;
  }
  THTMLObject document;
  document.LoadFromFile(path);
  EXPECT_EQ(Describe(document),
            (std::vector<std::string>{"Tp", "X{a\r\nb\r\nc\r\n\r\nd}", "Tq", "X{e\0}"s, "Tz"}));
  std::remove(path.c_str());

  // An unreadable file raises the file error and leaves the document alone.
  try {
    document.LoadFromFile(path);
    ADD_FAILURE() << "no error";
  } catch (const EFileOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open file \"" + path + "\". No such file or directory");
  }
  EXPECT_EQ(document.Elements.Count(), 5);
}

TEST(Document, ElementsOfManyMegabytesKeepTheirWholeText) {
  const std::string run(3 * 1000 * 1000, 'x');
  THTMLObject document;
  document.LoadFromStrings({run + "<a href=\"" + run + "\">" + run});
  ASSERT_EQ(document.Elements.Count(), 2);
  EXPECT_EQ(dynamic_cast<TNormalText&>(*document.Elements.ObjectAt(0)).Content, run);
  document.TagFilter = "A";
  TTagObject* anchor = document.Next();
  ASSERT_NE(anchor, nullptr);
  EXPECT_EQ(anchor->AttributeValue("href", ""), run);
}

TEST(Document, LoadFromFileGrowsPagesWhoseLineEndsDoubleThem) {
  const std::string path = ::testing::TempDir() + "movrek_scanner_newlines.html";
  const std::size_t lines = 3 * 1000 * 1000;
  {
    std::ofstream out(path, std::ios::binary);
    out << "<p>" << std::string(lines, '\n') << "<q>";
  }
  THTMLObject document;
  document.LoadFromFile(path);
  std::remove(path.c_str());
  ASSERT_EQ(document.Elements.Count(), 3);
  std::string expected;
  for (std::size_t i = 0; i < lines; ++i) expected += "\r\n";
  EXPECT_EQ(dynamic_cast<TNormalText&>(*document.Elements.ObjectAt(1)).Content, expected);
}

TEST(ObjectsList, IndexErrorsAndDeletion) {
  THTMLObject document;
  document.LoadFromStrings({"<a><b><c>"});
  TObjectsList& list = document.Elements;
  try {
    list.ObjectAt(3);
    ADD_FAILURE() << "no error";
  } catch (const EListError& e) {
    EXPECT_EQ(std::string(e.what()), "List index out of bounds (3)");
  }
  EXPECT_THROW(list.ObjectAt(-1), EListError);
  list.DeleteAt(-1);
  EXPECT_EQ(list.Count(), 3);
  list.DeleteAt(0);
  EXPECT_EQ(Describe(document), (std::vector<std::string>{"Tb", "Tc"}));
  list.Add(std::make_unique<TNormalText>("added"));
  EXPECT_EQ(Describe(document), (std::vector<std::string>{"Tb", "Tc", "X{added}"}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace movrek
