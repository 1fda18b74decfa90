#include "net/base/ip_text.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "net/base/text_util.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// One or more hexadecimal digits (leading zeros allowed) worth 0 to FFFF.
std::optional<std::uint16_t> ParseHex16(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
    if (value > 0xFFFF) {
      return std::nullopt;
    }
  }
  return static_cast<std::uint16_t>(value);
}

// A whole text holding a signed 32-bit decimal integer, else 0.
std::int32_t DecimalOrZero(const std::string& text) {
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    digits.remove_prefix(1);
  }
  const std::uint64_t magnitude = std::uint64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  const auto value = ParseDigits(digits, negative ? magnitude : magnitude - 1);
  if (!value) {
    return 0;
  }
  const auto signedValue = static_cast<std::int64_t>(*value);
  return static_cast<std::int32_t>(negative ? -signedValue : signedValue);
}

}  // namespace

bool IsByteText(const std::string& value) {
  return ParseDigits(value, 255).has_value();
}

bool IsPortText(const std::string& value) {
  if (value.size() > 5) {
    return false;
  }
  const auto port = ParseDigits(value, 65535);
  return port && *port >= 1;
}

bool IsIPv4Text(const std::string& value) {
  std::string rest = value;
  for (int i = 0; i < 3; ++i) {
    if (!IsByteText(TakeField(rest, "."))) {
      return false;
    }
  }
  return IsByteText(rest);
}

bool IsIPv6Text(const std::string& value) {
  if (value == "::") {
    return true;
  }
  std::string rest = value;
  int fieldCount = 0;
  int emptyCount = 0;
  bool firstField = true;
  bool result = false;
  while (!rest.empty()) {
    std::string field = TakeField(rest, ":");
    // A leading empty field is the first half of a leading "::": it neither
    // counts as a second "::" (RFC 4291 section 2.2 allows only one) nor
    // takes a group's place, so "::" may be followed by seven groups.
    const bool leadingEmpty = firstField && field.empty();
    if (!firstField && field.empty()) {
      ++emptyCount;
    }
    firstField = false;
    if (emptyCount > 1) {
      break;
    }
    if (leadingEmpty) {
      continue;
    }
    ++fieldCount;
    if (field.empty()) {
      continue;
    }
    if (fieldCount > 8) {
      break;
    }
    if (rest.empty()) {
      // The last group may carry a zone after "%" (RFC 4007 section 11).
      const std::string zone = TextAfter(field, "%");
      if (!ParseHex16(zone)) {
        break;
      }
      field = TextBefore(field, "%");
    }
    if (!ParseHex16(field)) {
      break;
    }
    if (rest.empty() && (fieldCount != 1 || emptyCount != 0)) {
      result = true;
    }
  }
  return result;
}

std::string IPv4ToBytes(const std::string& value) {
  std::string rest = value;
  std::string result;
  for (int i = 0; i < 4; ++i) {
    const std::int32_t number = DecimalOrZero(TakeField(rest, "."));
    result += static_cast<char>(static_cast<std::uint32_t>(number) & 0xFF);
  }
  return result;
}

TIPv6Bytes TextToIPv6(const std::string& value) {
  std::array<std::uint16_t, 8> groups{};
  int index = 0;
  int zeroPosition = -1;
  std::string rest = value;
  // The first half of a leading "::" takes no group's place (see
  // IsIPv6Text); the second half marks the gap.
  if (rest.rfind("::", 0) == 0) {
    rest.erase(0, 1);
  }
  while (!rest.empty()) {
    if (index > 7) {
      return TIPv6Bytes{};
    }
    const std::string field = TakeField(rest, ":");
    if (field == "@") {
      break;
    }
    if (field.empty()) {
      zeroPosition = index;
    } else {
      const auto group = ParseHex16(field);
      if (!group) {
        return TIPv6Bytes{};
      }
      groups[static_cast<std::size_t>(index)] = *group;
    }
    ++index;
  }

  if (zeroPosition != -1) {
    // The groups after the "::" belong at the end of the address.
    const int tail = index - zeroPosition - 1;
    std::array<std::uint16_t, 8> moved{};
    for (int i = 0; i < zeroPosition; ++i) {
      moved[i] = groups[i];
    }
    for (int i = 0; i < tail; ++i) {
      moved[8 - tail + i] = groups[zeroPosition + 1 + i];
    }
    groups = moved;
  }

  TIPv6Bytes bytes{};
  for (std::size_t i = 0; i < 8; ++i) {
    bytes[2 * i] = static_cast<unsigned char>(groups[i] >> 8);
    bytes[2 * i + 1] = static_cast<unsigned char>(groups[i] & 0xFF);
  }
  return bytes;
}

std::string IPv6ToText(const TIPv6Bytes& bytes) {
  std::array<unsigned, 8> groups{};
  for (std::size_t i = 0; i < 8; ++i) {
    groups[i] = bytes[2 * i] * 256u + bytes[2 * i + 1];
  }

  // The longest run of zero groups, the first of equally long runs
  // (RFC 5952 section 4.2.3 picks the first as well).
  int runStart = -1;
  int runLength = 0;
  for (int i = 0; i < 8;) {
    if (groups[i] != 0) {
      ++i;
      continue;
    }
    int j = i;
    while (j < 8 && groups[j] == 0) {
      ++j;
    }
    if (j - i > runLength) {
      runStart = i;
      runLength = j - i;
    }
    i = j;
  }
  auto inRun = [&](int i) { return runLength > 0 && i >= runStart && i < runStart + runLength; };

  static const char kHex[] = "0123456789abcdef";
  std::string text;
  bool skipped = false;
  for (int i = 0; i < 8; ++i) {
    if (inRun(i)) {
      skipped = true;
      continue;
    }
    if (skipped) {
      text += text.empty() ? "::" : ":";
      skipped = false;
    }
    std::string digits;
    unsigned g = groups[i];
    do {
      digits.insert(digits.begin(), kHex[g & 0xF]);
      g >>= 4;
    } while (g != 0);
    text += digits;
    text += ':';
  }
  if (skipped) {
    if (text.empty()) {
      text = "::0";
    } else {
      text += ':';
    }
  }
  if (text.empty()) {
    text = "::0";
  }
  if (!inRun(7)) {
    text.pop_back();
  }
  return text;
}

}  // namespace movrek
