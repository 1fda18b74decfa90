#include "text/ascii_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace movrek {
namespace {

TEST(AsciiText, CaseTouchesOnlyAsciiLetters) {
  // Bytes from 128 up are letters in Latin-1 but must stay as they are.
  const std::string mixed = "aZ09@[`{\xE4\xC4-";
  EXPECT_EQ(AsciiUpper(mixed), "AZ09@[`{\xE4\xC4-");
  EXPECT_EQ(AsciiLower(mixed), "az09@[`{\xE4\xC4-");

  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Location", "LOCATION", true},
      {"", "", true},
      {"a", "", false},
      {"@", "`", false},
      {"[", "{", false},
      {"\xE4", "\xC4", false},
      {"invalid", "INVALID", true},
      {"script", "SCRIPTS", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SameTextIgnoringCase(c.a, c.b), c.same) << c.a << "|" << c.b;

  EXPECT_TRUE(StartsWith("HTTP/1.1 200", "HTTP/"));
  EXPECT_FALSE(StartsWith("http/1.1", "HTTP/"));
  EXPECT_FALSE(StartsWith("HTT", "HTTP/"));
}

TEST(AsciiText, TrimControlsCutsCodesUpTo32AtBothEndsOnly) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {" \t\r\n\x01", ""},
      {std::string("\0a\0", 3), "a"},
      {" a b ", "a b"},
      {"\x7F"
       "a\x7F",
       "\x7F"
       "a\x7F"},                   // DEL is no control here
      {"\xA0x\xA0", "\xA0x\xA0"},  // nor a Latin-1 no-break space
  };
  for (const auto& c : cases) EXPECT_EQ(TrimControls(c.in), c.out) << c.in;
}

TEST(AsciiText, HexDigitValues) {
  const std::pair<char, int> cases[] = {{'0', 0},  {'9', 9},  {'a', 10}, {'F', 15},
                                        {'g', -1}, {'G', -1}, {'/', -1}, {':', -1}};
  for (const auto& [c, value] : cases) EXPECT_EQ(HexDigitValue(c), value) << c;
}

TEST(AsciiText, ParseDigitsReadsPlainDigitsUpToTheCeiling) {
  constexpr std::uint64_t kTop = std::numeric_limits<std::uint64_t>::max();
  const struct {
    const char* text;
    std::uint64_t ceiling;
    std::optional<std::uint64_t> rejected;  // with TDigitsOverflow::Reject
    std::optional<std::uint64_t> clamped;   // with TDigitsOverflow::Clamp
  } cases[] = {
      {"", 10, std::nullopt, std::nullopt},
      {"0", 0, 0, 0},
      {"007", 255, 7, 7},
      {"255", 255, 255, 255},
      {"256", 255, std::nullopt, 255},
      {"7", 5, std::nullopt, 5},  // one digit already above the ceiling
      {"+1", 10, std::nullopt, std::nullopt},
      {"-1", 10, std::nullopt, std::nullopt},
      {" 1", 10, std::nullopt, std::nullopt},
      {"1 ", 10, std::nullopt, std::nullopt},
      {"99999999999999999999x", 10, std::nullopt, std::nullopt},  // late junk still counts
      {"18446744073709551615", kTop, kTop, kTop},
      {"18446744073709551616", kTop, std::nullopt, kTop},
      {"000000000000000000000000000001", 1, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDigits(c.text, c.ceiling), c.rejected) << c.text;
    EXPECT_EQ(ParseDigits(c.text, c.ceiling, TDigitsOverflow::Clamp), c.clamped) << c.text;
  }
}

}  // namespace
}  // namespace movrek
