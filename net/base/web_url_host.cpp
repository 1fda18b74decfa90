#include "net/base/web_url_host.h"

#include <array>
#include <cstdint>
#include <optional>

#include "net/base/domain_to_ascii.h"
#include "net/base/percent_encode_set.h"
#include "text/ascii_text.h"
#include "text/utf8_sequence.h"

namespace movrek {
namespace {

using TIpv6 = std::array<std::uint16_t, 8>;

constexpr std::uint8_t kForbiddenHost = 1;
constexpr std::uint8_t kForbiddenDomain = 2;

// Forbidden host code points, and the forbidden domain code points (those,
// the C0 controls, "%" and DEL), as bits per byte.
constexpr std::array<std::uint8_t, 256> MakeForbiddenTable() {
  std::array<std::uint8_t, 256> table{};
  for (const char c : std::string_view("\0\t\n\r #/:<>?@[\\]^|", 17)) {
    table[static_cast<unsigned char>(c)] = kForbiddenHost | kForbiddenDomain;
  }
  for (int c = 0; c < 0x20; ++c) {
    table[c] |= kForbiddenDomain;
  }
  table['%'] |= kForbiddenDomain;
  table[0x7F] |= kForbiddenDomain;
  return table;
}

constexpr std::array<std::uint8_t, 256> kForbidden = MakeForbiddenTable();

bool IsForbiddenHostByte(unsigned char c) {
  return (kForbidden[c] & kForbiddenHost) != 0;
}

bool IsForbiddenDomainByte(unsigned char c) {
  return (kForbidden[c] & kForbiddenDomain) != 0;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The dotted IPv4 tail of an IPv6 address, into two pieces.
bool ParseIpv6Tail(std::string_view text, std::size_t& at, TIpv6& pieces, int& index) {
  if (index > 6) {
    return false;
  }
  int numbersSeen = 0;
  while (at < text.size()) {
    if (numbersSeen > 0) {
      if (text[at] != '.' || numbersSeen >= 4) {
        return false;
      }
      ++at;
    }
    if (at >= text.size() || !IsDigit(text[at])) {
      return false;
    }
    int value = -1;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
      if (value == 0) {
        return false;  // a leading zero
      }
      value = (value < 0 ? 0 : value * 10) + (text[at] - '0');
      if (value > 255) {
        return false;
      }
    }
    pieces[index] = static_cast<std::uint16_t>(pieces[index] * 0x100 + value);
    ++numbersSeen;
    if (numbersSeen == 2 || numbersSeen == 4) {
      ++index;
    }
  }
  return numbersSeen == 4;
}

// Moves the pieces after "::" to the end and leaves zeros in the gap.
void ExpandCompression(TIpv6& pieces, int index, int compress) {
  int swaps = index - compress;
  for (int i = 7; i != 0 && swaps > 0; --i, --swaps) {
    std::swap(pieces[i], pieces[compress + swaps - 1]);
  }
}

std::optional<TIpv6> ParseIpv6(std::string_view text) {
  TIpv6 pieces{};
  int index = 0;
  int compress = -1;
  std::size_t at = 0;
  if (!text.empty() && text[0] == ':') {
    if (text.size() < 2 || text[1] != ':') {
      return std::nullopt;
    }
    at = 2;
    compress = ++index;
  }
  while (at < text.size()) {
    if (index == 8) {
      return std::nullopt;
    }
    if (text[at] == ':') {
      if (compress >= 0) {
        return std::nullopt;
      }
      ++at;
      compress = ++index;
      continue;
    }
    int value = 0;
    int length = 0;
    for (; length < 4 && at < text.size() && HexDigitValue(text[at]) >= 0; ++length, ++at) {
      value = value * 16 + HexDigitValue(text[at]);
    }
    if (at < text.size() && text[at] == '.') {
      if (length == 0) {
        return std::nullopt;
      }
      at -= static_cast<std::size_t>(length);
      if (!ParseIpv6Tail(text, at, pieces, index)) {
        return std::nullopt;
      }
      break;
    }
    if (at < text.size() && text[at] == ':') {
      if (++at == text.size()) {
        return std::nullopt;
      }
    } else if (at < text.size()) {
      return std::nullopt;
    }
    pieces[index++] = static_cast<std::uint16_t>(value);
  }
  if (compress >= 0) {
    ExpandCompression(pieces, index, compress);
  } else if (index != 8) {
    return std::nullopt;
  }
  return pieces;
}

// The first longest run of two or more zero pieces is written "::".
void AppendIpv6(const TIpv6& pieces, std::string& out) {
  int compress = -1;
  int longest = 1;
  for (int i = 0; i < 8;) {
    int end = i;
    while (end < 8 && pieces[end] == 0) {
      ++end;
    }
    if (end - i > longest) {
      longest = end - i;
      compress = i;
    }
    i = end == i ? i + 1 : end;
  }
  static constexpr char kHex[] = "0123456789abcdef";
  out += '[';
  for (int i = 0; i < 8; ++i) {
    if (i == compress) {
      out += i == 0 ? "::" : ":";
      i += longest - 1;
      continue;
    }
    bool leading = true;
    for (int shift = 12; shift >= 0; shift -= 4) {
      const int digit = (pieces[i] >> shift) & 15;
      if (leading && digit == 0 && shift > 0) {
        continue;
      }
      leading = false;
      out += kHex[digit];
    }
    if (i != 7) {
      out += ':';
    }
  }
  out += ']';
}

// One part of an IPv4 address: decimal, "0x" hexadecimal or "0" octal.
// Values past 2^32 saturate; any such value fails the range checks anyway.
std::optional<std::uint64_t> ParseIpv4Number(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  int radix = 10;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    radix = 16;
  } else if (text.size() >= 2 && text[0] == '0') {
    text.remove_prefix(1);
    radix = 8;
  }
  std::uint64_t value = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0 || digit >= radix) {
      return std::nullopt;
    }
    value = value > (1ULL << 40) ? value : value * static_cast<std::uint64_t>(radix) + digit;
  }
  return value;
}

// The parts split at dots, a last empty part dropped (but not the only one).
std::size_t SplitDots(std::string_view text, std::array<std::string_view, 5>& parts) {
  std::size_t count = 0;
  for (std::size_t start = 0;;) {
    const std::size_t dot = text.find('.', start);
    if (count == parts.size()) {
      return count + 1;  // too many to hold
    }
    parts[count++] = text.substr(start, dot - start);
    if (dot == std::string_view::npos) {
      break;
    }
    start = dot + 1;
  }
  if (count > 1 && parts[count - 1].empty()) {
    --count;
  }
  return count;
}

bool EndsInNumber(std::string_view domain) {
  if (!domain.empty() && domain.back() == '.') {
    domain.remove_suffix(1);
  }
  const std::string_view last = domain.substr(domain.rfind('.') + 1);
  if (last.empty()) {
    return false;
  }
  bool digits = true;
  for (const char c : last) {
    digits = digits && IsDigit(c);
  }
  return digits || ParseIpv4Number(last).has_value();
}

bool AppendIpv4(std::string_view domain, std::string& out) {
  std::array<std::string_view, 5> parts;
  const std::size_t count = SplitDots(domain, parts);
  if (count > 4) {
    return false;
  }
  std::uint64_t address = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::optional<std::uint64_t> number = ParseIpv4Number(parts[i]);
    if (!number) {
      return false;
    }
    if (i + 1 < count) {
      if (*number > 255) {
        return false;
      }
      address += *number << (8 * (3 - i));
    } else {
      if (*number >= (1ULL << (8 * (5 - count)))) {
        return false;
      }
      address += *number;
    }
  }
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += std::to_string((address >> shift) & 255);
    if (shift > 0) {
      out += '.';
    }
  }
  return true;
}

std::string PercentDecodeBytes(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
        HexDigitValue(text[i + 2]) >= 0) {
      decoded += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

bool HasAceLabel(std::string_view domain) {
  for (std::size_t start = 0; start <= domain.size();) {
    if (SameTextIgnoringCase(domain.substr(start, 4), "xn--")) {
      return true;
    }
    const std::size_t dot = domain.find('.', start);
    if (dot == std::string_view::npos) {
      break;
    }
    start = dot + 1;
  }
  return false;
}

// Domain to ASCII: ASCII names without A-labels only need lower case, which
// most hosts get here without a copy; the others go through UTS #46
// processing, which also checks Punycode.
bool AppendAsciiDomain(std::string_view ascii, std::string& out) {
  if (ascii.empty()) {
    return false;
  }
  const std::size_t start = out.size();
  for (const char c : ascii) {
    if (IsForbiddenDomainByte(static_cast<unsigned char>(c))) {
      return false;
    }
    out += AsciiLowerChar(c);
  }
  const std::string_view domain = std::string_view(out).substr(start);
  if (!EndsInNumber(domain)) {
    return true;
  }
  const std::string number(domain);
  out.resize(start);
  return AppendIpv4(number, out);
}

bool AppendDomain(std::string_view text, std::string& out) {
  bool plain = true;
  for (const char c : text) {
    plain = plain && c != '%' && static_cast<unsigned char>(c) < 0x80;
  }
  if (plain && !HasAceLabel(text)) {
    return AppendAsciiDomain(text, out);
  }
  const std::string decoded = PercentDecodeBytes(text);
  bool isAscii = true;
  for (const char c : decoded) {
    isAscii = isAscii && static_cast<unsigned char>(c) < 0x80;
  }
  if (isAscii && !HasAceLabel(decoded)) {
    return AppendAsciiDomain(decoded, out);
  }
  std::string ascii;
  return IsWellFormedUtf8(decoded) && DomainToAscii(decoded, ascii) &&
         AppendAsciiDomain(ascii, out);
}

}  // namespace

bool AppendWebUrlHost(std::string_view text, bool special, std::string& out) {
  if (!text.empty() && text[0] == '[') {
    if (text.back() != ']' || text.size() < 2) {
      return false;
    }
    const std::optional<TIpv6> address = ParseIpv6(text.substr(1, text.size() - 2));
    if (!address) {
      return false;
    }
    AppendIpv6(*address, out);
    return true;
  }
  if (special) {
    return AppendDomain(text, out);
  }
  for (const char c : text) {
    if (IsForbiddenHostByte(static_cast<unsigned char>(c))) {
      return false;
    }
  }
  AppendPercentEncoded(text, TEncodeSet::C0Control, out);
  return true;
}

}  // namespace movrek
