#include "text/ascii_text.h"

namespace movrek {

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    c = AsciiUpperChar(c);
  }
  return text;
}

std::string AsciiLower(std::string text) {
  for (char& c : text) {
    c = AsciiLowerChar(c);
  }
  return text;
}

std::optional<std::uint64_t> ParseDigits(std::string_view text, std::uint64_t ceiling,
                                         TDigitsOverflow overflow) {
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  bool over = false;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    const auto digit = static_cast<std::uint64_t>(c - '0');
    // Once past the ceiling the value no longer matters, only the digits.
    if (!over && (digit > ceiling || value > (ceiling - digit) / 10)) {
      over = true;
    }
    if (!over) {
      value = value * 10 + digit;
    }
  }
  if (!over) {
    return value;
  }
  if (overflow == TDigitsOverflow::Clamp) {
    return ceiling;
  }
  return std::nullopt;
}

}  // namespace movrek
