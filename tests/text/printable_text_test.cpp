#include "text/printable_text.h"

#include <gtest/gtest.h>

#include <string>

namespace movrek {
namespace {

using namespace std::string_literals;

TEST(PrintableText, ControlCharactersBecomeOneQuestionMarkEachAndTheRestStays) {
  const struct {
    std::string text;
    std::string shown;
  } cases[] = {
      {"plain text, tab\tkept", "plain text, tab\tkept"},
      {"a\x1b[41mred\x07", "a?[41mred?"},
      {"\0\r\n\x7f"s, "????"},
      {"csi \xC2\x9B"
       "2J, nbsp \xC2\xA0",
       "csi ?2J, nbsp \xC2\xA0"},  // UTF-8 C1 and U+00A0
      {"latin-1 \x9b"
       "2J \xe9t\xe9",
       "latin-1 ?2J \xe9t\xe9"},                   // a stray C1 byte
      {"\xE4\xB8\xAD \xC2", "\xE4\xB8\xAD \xC2"},  // a cut sequence stays
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PrintableText(c.text), c.shown) << c.text;
  }
}

}  // namespace
}  // namespace movrek
