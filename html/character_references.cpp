#include "html/character_references.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace movrek {

namespace {

struct TNamedReference {
  std::string_view Name;
  std::string_view Value;
};

#include "html/named_references.inc"

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// Numeric references to 0x80 to 0x9F mean the windows-1252 character there
// (0 where the standard keeps the control itself).
constexpr std::array<std::uint16_t, 32> kC1Replacements = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsAsciiAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int DigitValue(char c, bool hex) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (!hex) {
    return -1;
  }
  const char lower = static_cast<char>(c | 0x20);
  return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

std::uint32_t NumericReferenceValue(std::uint64_t value) {
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return kReplacementCharacter;
  }
  if (value >= 0x80 && value <= 0x9F && kC1Replacements[value - 0x80] != 0) {
    return kC1Replacements[value - 0x80];
  }
  return static_cast<std::uint32_t>(value);
}

// A numeric reference at text[0] == '&', text[1] == '#'; the characters it
// takes, 0 when no digit follows (then it is no reference).
std::size_t DecodeNumeric(std::string_view text, std::string& out) {
  std::size_t at = 2;
  const bool hex = at < text.size() && (text[at] == 'x' || text[at] == 'X');
  if (hex) {
    ++at;
  }
  const std::size_t digits_start = at;
  std::uint64_t value = 0;
  for (int digit; at < text.size() && (digit = DigitValue(text[at], hex)) >= 0; ++at) {
    // Past U+10FFFF the value only has to stay too large.
    value =
        std::min<std::uint64_t>(value * (hex ? 16 : 10) + static_cast<unsigned>(digit), 0x110000);
  }
  if (at == digits_start) {
    return 0;
  }
  if (at < text.size() && text[at] == ';') {
    ++at;
  }
  AppendUtf8(NumericReferenceValue(value), out);
  return at;
}

const TNamedReference* FindName(std::string_view name) {
  const auto* end = std::end(kNamedReferences);
  const auto* it = std::lower_bound(
      std::begin(kNamedReferences), end, name,
      [](const TNamedReference& entry, std::string_view key) { return entry.Name < key; });
  return it != end && it->Name == name ? it : nullptr;
}

// Where a reference stands: in an attribute value a legacy name is read
// only where it cannot be part of a query.
enum class TReferencePlace : bool { Text, Attribute };

// A named reference at text[0] == '&'; the characters it takes, 0 when it
// stays as written. Names are letters and digits, so the longest match is
// the whole run with its ";", or else the longest legacy name the run starts
// with.
std::size_t DecodeNamed(std::string_view text, TReferencePlace place, std::string& out) {
  std::size_t run = 1;
  while (run < text.size() && run <= kLongestReferenceName && IsAsciiAlphanumeric(text[run])) {
    ++run;
  }
  if (run < text.size() && text[run] == ';') {
    if (const TNamedReference* entry = FindName(text.substr(1, run))) {
      out += entry->Value;
      return run + 1;
    }
  }
  for (std::size_t end = run; end > 1; --end) {
    if (const TNamedReference* entry = FindName(text.substr(1, end - 1))) {
      // In an attribute a name without ";" before "=" or a letter or digit
      // is taken for part of a query such as "?lang=en&copy=1".
      if (place == TReferencePlace::Attribute && end < text.size() &&
          (text[end] == '=' || IsAsciiAlphanumeric(text[end]))) {
        return 0;
      }
      out += entry->Value;
      return end;
    }
  }
  return 0;
}

void AppendDecoded(std::string_view value, TReferencePlace place, std::string& out) {
  for (;;) {
    const std::size_t amp = value.find('&');
    out += value.substr(0, amp);
    if (amp == std::string_view::npos) {
      return;
    }
    value.remove_prefix(amp);
    const std::size_t taken = value.size() > 1 && value[1] == '#' ? DecodeNumeric(value, out)
                                                                  : DecodeNamed(value, place, out);
    if (taken == 0) {
      out += '&';
      value.remove_prefix(1);
    } else {
      value.remove_prefix(taken);
    }
  }
}

}  // namespace

void AppendUtf8(std::uint32_t codePoint, std::string& out) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

void AppendAttributeDecoded(std::string_view value, std::string& out) {
  AppendDecoded(value, TReferencePlace::Attribute, out);
}

void AppendTextDecoded(std::string_view text, std::string& out) {
  AppendDecoded(text, TReferencePlace::Text, out);
}

}  // namespace movrek
