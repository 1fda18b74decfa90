// Text helpers on 8-bit strings shared by every layer. Letter case means the
// ASCII letters only: bytes from 128 up are no letters here, whatever a locale
// would say, so that a header name or a tag name compares the same on every
// machine. None keeps state or fails: every input has a defined result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace movrek {

constexpr char AsciiUpperChar(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char AsciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);
// ASCII letters compared without regard to case; other bytes must be equal.
// Inline, as the trim below: the scanner calls both for every tag.
constexpr bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) {
      return false;
    }
  }
  return true;
}
// Case-sensitive.
constexpr bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The codes 0 to 32: blank, tab, line ends and the other controls.
constexpr bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}
// The text without the characters with codes 0 to 32 at either end.
constexpr std::string_view TrimControls(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlankOrControl(text[end - 1])) {
    --end;
  }
  return text.substr(begin, end - begin);
}

// The value of a hexadecimal digit in either case, -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// What a digit string worth more than the ceiling gives.
enum class TDigitsOverflow : std::uint8_t {
  Reject,  // no value, as for a text that is no number
  Clamp,   // the ceiling itself
};
// A text of one or more decimal digits (no sign, no blanks, leading zeros
// allowed) and its value; nothing for an empty text or any other byte.
// Any length of digits is read without overflow.
std::optional<std::uint64_t> ParseDigits(std::string_view text, std::uint64_t ceiling,
                                         TDigitsOverflow overflow = TDigitsOverflow::Reject);

}  // namespace movrek
