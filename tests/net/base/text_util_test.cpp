#include "net/base/text_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/base/base64.h"

namespace movrek {
namespace {

TEST(TickSpan, MeasuresAcrossTheCounterTopAndOrdersOtherwise) {
  struct Case {
    std::uint32_t Old, New, Span;
  };
  const Case cases[] = {
      {100, 100, 0},
      {100, 350, 250},
      {0xFFFFFFFFu - 255, 256, 512},  // passed the top between the readings
      {0xFFFFFFFFu, 0, 1},
      {512, 256, 256},  // readings out of order: plain distance
      {0x90000000u, 0x80000000u, 0x10000000u},
      {0x7FFFFFFFu, 0x00000001u, 0x7FFFFFFEu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TickSpan(c.Old, c.New), c.Span) << c.Old << " -> " << c.New;
  }
}

TEST(TickNow, AdvancesInMilliseconds) {
  const std::uint32_t before = TickNow();
  const std::uint32_t after = TickNow();
  EXPECT_LT(TickSpan(before, after), 1000u);
}

TEST(BytePacking, IsBigEndian) {
  EXPECT_EQ(PackWord16(0x0102), std::string("\x01\x02", 2));
  EXPECT_EQ(PackLong32(1), std::string("\0\0\0\x01", 4));
  EXPECT_EQ(PackLong32(0xA1B2C3D4u), "\xA1\xB2\xC3\xD4");
  EXPECT_EQ(SwapLong32(1), 1u << 24);
  EXPECT_EQ(SwapLong32(0xA1B2C3D4u), 0xD4C3B2A1u);

  const std::string two("\x01\x02", 2);
  EXPECT_EQ(UnpackWord16(two, 1), 258);
  EXPECT_EQ(UnpackWord16(two, 2), 512);  // missing low byte counts as 0
  EXPECT_EQ(UnpackWord16(two, 3), 0);
  EXPECT_EQ(UnpackWord16(two, 0), 1);  // position 0 lies outside: high byte 0
  EXPECT_EQ(UnpackWord16(PackWord16(0xFFEE), 1), 0xFFEE);
}

TEST(TrimBlanks, RemovesOnlyCharacter32) {
  struct Case {
    std::string In, Left, Right, Both;
  };
  const Case cases[] = {
      {"", "", "", ""},
      {"   ", "", "", ""},
      {"  a b  ", "a b  ", "  a b", "a b"},
      {"\ta ", "\ta ", "\ta", "\ta"},
      {" x\r\n", "x\r\n", " x\r\n", "x\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TrimBlanksLeft(c.In), c.Left) << "[" << c.In << "]";
    EXPECT_EQ(TrimBlanksRight(c.In), c.Right) << "[" << c.In << "]";
    EXPECT_EQ(TrimBlanks(c.In), c.Both) << "[" << c.In << "]";
  }
}

TEST(TextBeforeAfter, CutAtTheFirstOccurrence) {
  struct Case {
    std::string Value, Delimiter, Before, After;
  };
  const Case cases[] = {
      {"name=value", "=", "name", "value"},
      {"name=value", ":", "name=value", "name=value"},
      {"a=b=c", "=", "a", "b=c"},
      {"a=b", "", "a=b", "a=b"},
      {"key: ", ": ", "key", ""},
      {"=x", "=", "", "x"},
      {"", "=", "", ""},
      {"abcabc", "bc", "a", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextBefore(c.Value, c.Delimiter), c.Before) << c.Value << " / " << c.Delimiter;
    EXPECT_EQ(TextAfter(c.Value, c.Delimiter), c.After) << c.Value << " / " << c.Delimiter;
  }
}

TEST(TakeField, WalksADelimitedListAndTrimsBlanks) {
  std::string value = "one, two ,three";
  EXPECT_EQ(TakeField(value, ","), "one");
  EXPECT_EQ(value, "two ,three");
  EXPECT_EQ(TakeField(value, ","), "two");
  EXPECT_EQ(value, "three");
  EXPECT_EQ(TakeField(value, ","), "three");
  EXPECT_EQ(value, "");
  EXPECT_EQ(TakeField(value, ","), "");
  EXPECT_EQ(value, "");
}

TEST(TakeFieldRaw, KeepsBlanksAndEmptiesAtTheLastField) {
  std::string value = " a ;; b ";
  EXPECT_EQ(TakeFieldRaw(value, ";"), " a ");
  EXPECT_EQ(value, "; b ");
  EXPECT_EQ(TakeFieldRaw(value, ";"), "");
  EXPECT_EQ(value, " b ");
  EXPECT_EQ(TakeFieldRaw(value, ";"), " b ");
  EXPECT_EQ(value, "");

  // A trailing delimiter leaves an empty rest, not the old value.
  value = "x;";
  EXPECT_EQ(TakeFieldRaw(value, ";"), "x");
  EXPECT_EQ(value, "");
}

TEST(FindLineBreak, ReportsPositionAndTerminator) {
  struct Case {
    std::string Value;
    int Position;
    std::string Terminator;
  };
  const Case cases[] = {
      {"ab\r\ncd", 3, "\r\n"}, {"ab\n\rcd", 3, "\n\r"}, {"ab\ncd", 3, "\n"},
      {"abc\r", 4, "\r"},      {"\n", 1, "\n"},         {"\r\r\n", 1, "\r"},
      {"\n\n", 1, "\n"},       {"abc", -1, ""},         {"", -1, ""},
  };
  for (const auto& c : cases) {
    std::string terminator = "stale";
    EXPECT_EQ(FindLineBreak(c.Value, terminator), c.Position);
    EXPECT_EQ(terminator, c.Terminator);
  }
}

TEST(ReplaceAllText, ReplacesWithoutOverlapOrRescanning) {
  struct Case {
    std::string Value, Search, Replacement, Result;
  };
  const Case cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"abc", "", "x", "abc"},
      {"", "a", "x", ""},
      {"a.b.c", ".", "..", "a..b..c"},  // inserted text is not searched again
      {"xyx", "x", "", "y"},
      {"hello", "zz", "q", "hello"},
      {"\r\n\r\n", "\r\n", "\n", "\n\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceAllText(c.Value, c.Search, c.Replacement), c.Result) << c.Value;
  }
}

struct SplitCase {
  std::string Url;
  std::string Protocol, User, Password, Host, Port, Path, Parameters, Target;
};

class SplitUrlTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitUrlTest, FillsEveryPart) {
  const SplitCase& c = GetParam();
  std::string protocol = "x", user = "x", password = "x", host = "x", port = "x", path = "x",
              parameters = "x";
  const std::string target =
      SplitUrl(c.Url, protocol, user, password, host, port, path, parameters);
  EXPECT_EQ(protocol, c.Protocol);
  EXPECT_EQ(user, c.User);
  EXPECT_EQ(password, c.Password);
  EXPECT_EQ(host, c.Host);
  EXPECT_EQ(port, c.Port);
  EXPECT_EQ(path, c.Path);
  EXPECT_EQ(parameters, c.Parameters);
  EXPECT_EQ(target, c.Target);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, SplitUrlTest,
    ::testing::Values(
        SplitCase{"example.org", "http", "", "", "example.org", "80", "/", "", "/"},
        SplitCase{"HTTPS://Example.org:8443/a/b.html?q=1&r=2", "HTTPS", "", "", "Example.org",
                  "8443", "/a/b.html", "q=1&r=2", "/a/b.html?q=1&r=2"},
        SplitCase{"https://host/", "https", "", "", "host", "443", "/", "", "/"},
        SplitCase{"ftp://[::1]/pub", "ftp", "", "", "::1", "21", "/pub", "", "/pub"},
        SplitCase{"http://[fe80::1]:8080/x", "http", "", "", "fe80::1", "8080", "/x", "", "/x"},
        SplitCase{"http://[::1", "http", "", "", "::1", "80", "/", "", "/"},
        SplitCase{"http://joe:se:cret@host:81/p", "http", "joe", "se:cret", "host", "81", "/p", "",
                  "/p"},
        SplitCase{"http://joe@host", "http", "joe", "", "host", "80", "/", "", "/"},
        SplitCase{"http://host/path@x?a@b", "http", "", "", "host", "80", "/path@x", "a@b",
                  "/path@x?a@b"},
        SplitCase{"http://", "http", "", "", "localhost", "80", "/", "", "/"},
        SplitCase{"http://host:/", "http", "", "", "host", "", "/", "", "/"},
        SplitCase{"http://host:abc", "http", "", "", "host", "abc", "/", "", "/"},
        SplitCase{"gopher://h/?", "gopher", "", "", "h", "80", "/", "", "/?"},
        SplitCase{"//h/x", "http", "", "", "localhost", "80", "//h/x", "", "//h/x"},
        // A query right after the host ends the host, and what it holds is no
        // credential.
        SplitCase{"http://host?to=a@evil:99", "http", "", "", "host", "80", "/", "to=a@evil:99",
                  "/?to=a@evil:99"},
        SplitCase{"http://u:p@host:8?q/r", "http", "u", "p", "host", "8", "/", "q/r", "/?q/r"},
        SplitCase{"http://host/a?b?c", "http", "", "", "host", "80", "/a", "b?c", "/a?b?c"},
        // A fragment ends the host as well; credentials end at the last "@"
        // of the authority, so the host is what follows every one of them.
        SplitCase{"http://host#@evil/", "http", "", "", "host", "80", "/#@evil/", "", "/#@evil/"},
        SplitCase{"http://a@b:c@host/", "http", "a@b", "c", "host", "80", "/", "", "/"}));

TEST(PercentDecode, DecodesEscapesAndKeepsLoneSigns) {
  EXPECT_EQ(PercentDecode("pa%3Ass%2f%41"), "pa:ss/A");
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%%41"), "%zz%A");
}

TEST(Streams, ReadAndWriteAtThePosition) {
  std::string stream = "hello world";
  std::size_t position = 6;
  EXPECT_EQ(ReadTextFromStream(stream, position, 3), "wor");
  EXPECT_EQ(position, 9u);
  EXPECT_EQ(ReadTextFromStream(stream, position, 100), "ld");
  EXPECT_EQ(position, 11u);
  EXPECT_EQ(ReadTextFromStream(stream, position, 5), "");

  position = 6;
  WriteTextToStream(stream, position, "there!");
  EXPECT_EQ(stream, "hello there!");
  EXPECT_EQ(position, 12u);
  position = 100;  // beyond the end writes at the end
  WriteTextToStream(stream, position, "?");
  EXPECT_EQ(stream, "hello there!?");
  WriteTextToStream(stream, std::string("\0x", 2));
  EXPECT_EQ(stream, std::string("hello there!?\0x", 15));

  const char buffer[] = "abcdef";
  EXPECT_EQ(*AdvancePointer(buffer, 4), 'e');
}

TEST(Base64, EncodesPerRfc4648) {
  // RFC 4648 section 10 test vectors, plus bytes that use the whole alphabet.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xFB\xFF\xBF", 3), "+/+/"},
      {std::string("\0\0\0\0", 4), "AAAAAA=="},
      {"user:pass", "dXNlcjpwYXNz"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(ToBase64(in), out) << in;
}

TEST(EncodeTriplets, SkipsIndicesBeyondTheTable) {
  // Without the fill character in the table the padding is simply left out.
  const std::string noFill = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  EXPECT_EQ(EncodeTriplets("f", noFill), "Zg");
  EXPECT_EQ(EncodeTriplets("foo", "AB"), "");
  EXPECT_EQ(EncodeTriplets("\x04", "ABCDEFGHIJKLMNOPQRS"), "BA");  // indices 1, 0, 64, 64
}

}  // namespace
}  // namespace movrek
