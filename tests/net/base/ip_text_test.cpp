#include "net/base/ip_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace movrek {
namespace {

TIPv6Bytes Groups(std::initializer_list<unsigned> groups) {
  TIPv6Bytes bytes{};
  std::size_t i = 0;
  for (unsigned g : groups) {
    bytes[i++] = static_cast<unsigned char>(g >> 8);
    bytes[i++] = static_cast<unsigned char>(g & 0xFF);
  }
  return bytes;
}

TEST(IsByteText, AcceptsDecimalsUpTo255) {
  const std::pair<std::string, bool> cases[] = {
      {"0", true},
      {"255", true},
      {"007", true},
      {"0000000000255", true},
      {"256", false},
      {"", false},
      {" 1", false},
      {"1a", false},
      {"-1", false},
      {"+1", false},
      {"99999999999999999999", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IsByteText(text), expected) << text;
}

TEST(IsPortText, AcceptsOneToFiveDigitsFrom1To65535) {
  const std::pair<std::string, bool> cases[] = {
      {"1", true},      {"65535", true}, {"00080", true}, {"000080", false}, {"0", false},
      {"65536", false}, {"", false},     {"8o", false},   {"+80", false},    {" 80", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IsPortText(text), expected) << text;
}

TEST(IsIPv4Text, NeedsExactlyFourByteParts) {
  const std::pair<std::string, bool> cases[] = {
      {"255.255.255.255", true},
      {"0.0.0.0", true},
      {"1.2.3.04", true},
      {"1 . 2 . 3 . 4", true},  // blanks around the dots are trimmed
      {" 10.0.0.1 ", true},
      {"256.1.1.1", false},
      {"1.2.3.a", false},
      {"", false},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1..2.3", false},
      {"1.2.3.4.", false},
      {"::1", false},
      {"1.2.3.\t4", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IsIPv4Text(text), expected) << text;
}

TEST(IsIPv6Text, FollowsTheGroupRules) {
  const std::pair<std::string, bool> cases[] = {
      {"::", true},
      {"::1", true},
      {"fe80::1%5", true},
      {"fe80::1%ff", true},
      {"1:2:3:4:5:6:7:8", true},
      {"1:2:3:4:5:6:7:8:9", false},
      {"1::2::3", false},
      {"1234", false},
      {"1::", false},
      {"abc:80", true},
      {"2001:DB8::FFFF", true},
      {"0000:0000::00001", true},  // leading zeros are allowed
      {"10000::1", false},
      {"::g", false},
      {"fe80::1%", false},
      {"fe80::1%zz", false},
      {"fe80::1%10000", false},
      {"1.2.3.4", false},
      {"", false},
      {":", false},
      {":::", false},
      {"1:2:3:4:5:6:7::", false},
      {"::ffff:1.2.3.4", false},
      {"::1:2:3:4:5:6:7", true},  // the gap stands for one group only
      {"::1:2:3:4:5:6:7:8", false},
      {":1", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IsIPv6Text(text), expected) << text;
}

TEST(IPv4ToBytes, GivesFourBytesInNetworkOrder) {
  const std::pair<std::string, std::string> cases[] = {
      {"10.0.0.1", std::string("\x0A\0\0\x01", 4)},
      {"192.168.1.255", "\xC0\xA8\x01\xFF"},
      {"1.2.x.4", std::string("\x01\x02\0\x04", 4)},  // non-number counts as 0
      {"257.2.3.4", "\x01\x02\x03\x04"},              // low 8 bits
      {"1.2", std::string("\x01\x02\0\0", 4)},
      {"", std::string(4, '\0')},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(IPv4ToBytes(text), bytes) << text;
}

TEST(TextToIPv6, PlacesGroupsAroundTheGap) {
  const std::pair<std::string, TIPv6Bytes> cases[] = {
      {"::1", Groups({0, 0, 0, 0, 0, 0, 0, 1})},
      {"::", Groups({0, 0, 0, 0, 0, 0, 0, 0})},
      {"1::2:3", Groups({1, 0, 0, 0, 0, 0, 2, 3})},
      {"1::", Groups({1, 0, 0, 0, 0, 0, 0, 0})},
      {"fe80::a:B:c", Groups({0xfe80, 0, 0, 0, 0, 0xa, 0xb, 0xc})},
      {"1:2:3:4:5:6:7:8", Groups({1, 2, 3, 4, 5, 6, 7, 8})},
      {"2001:db8::ff00:42:8329", Groups({0x2001, 0xdb8, 0, 0, 0, 0xff00, 0x42, 0x8329})},
      {"::1:2:3:4:5:6:7", Groups({0, 1, 2, 3, 4, 5, 6, 7})},
      {"1:2:3:4:5:6:7::", Groups({1, 2, 3, 4, 5, 6, 7, 0})},
      {"::1:2:3:4:5:6:7:8", TIPv6Bytes{}},
      {"1:2:3:4:5:6:7:8:9", TIPv6Bytes{}},
      {"g::1", TIPv6Bytes{}},
      {"10000::1", TIPv6Bytes{}},
      {"1:2:@:ff", Groups({1, 2, 0, 0, 0, 0, 0, 0})},  // "@" ends the reading
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(TextToIPv6(text), bytes) << text;
}

TEST(IPv6ToText, CompressesTheLongestFirstRun) {
  const std::pair<TIPv6Bytes, std::string> cases[] = {
      {Groups({0, 0, 1, 0, 0, 0, 1, 0}), "0:0:1::1:0"},
      {Groups({1, 0, 0, 2, 0, 0, 3, 4}), "1::2:0:0:3:4"},
      {Groups({0, 0, 0, 0, 0, 0, 0, 0}), "::0"},
      {Groups({0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
      {Groups({1, 0, 0, 0, 0, 0, 0, 0}), "1::"},
      {Groups({1, 2, 3, 4, 5, 6, 7, 8}), "1:2:3:4:5:6:7:8"},
      {Groups({1, 2, 3, 0, 5, 6, 7, 8}), "1:2:3::5:6:7:8"},
      {Groups({0xFE80, 0, 0, 0, 0xABCD, 0, 0, 0x0A}), "fe80::abcd:0:0:a"},
      {Groups({0, 0xffff, 0, 0, 0, 0, 0, 0}), "0:ffff::"},
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(IPv6ToText(bytes), text) << text;
}

TEST(IPv6Text, RoundTripsThroughBytes) {
  for (const char* text :
       {"::1", "1:2:3:4:5:6:7:8", "2001:db8::ff00:42:8329", "fe80::1", "1::2:0:0:3:4"}) {
    EXPECT_EQ(IPv6ToText(TextToIPv6(text)), text);
    EXPECT_TRUE(IsIPv6Text(text)) << text;
  }
}

TEST(IPv6Text, AnyAddressSurvivesTextAndBack) {
  // Zero-heavy groups, so that runs of every length and position occur.
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> pick(0, 3);
  for (int round = 0; round < 20000; ++round) {
    TIPv6Bytes bytes{};
    for (std::size_t g = 0; g < 8; ++g) {
      const int kind = pick(random);
      const unsigned value = kind < 2 ? 0 : (kind == 2 ? 1 : (random() & 0xFFFF));
      bytes[2 * g] = static_cast<unsigned char>(value >> 8);
      bytes[2 * g + 1] = static_cast<unsigned char>(value & 0xFF);
    }
    const std::string text = IPv6ToText(bytes);
    ASSERT_EQ(TextToIPv6(text), bytes) << text;
    // A text that ends in the gap after a group counts as no address text.
    const bool endsInGap = text.ends_with("::");
    ASSERT_EQ(IsIPv6Text(text), !endsInGap) << text;
  }
}

}  // namespace
}  // namespace movrek
