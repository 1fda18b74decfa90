#include "net/base/domain_to_ascii.h"

#include <idn2.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "text/ascii_text.h"

namespace movrek {
namespace {

using TIdn2Text = std::unique_ptr<char, decltype(&idn2_free)>;

bool Idn2ToAscii(std::string_view utf8, std::string& ascii) {
  char* converted = nullptr;
  const int code = idn2_to_ascii_8z(std::string(utf8).c_str(), &converted,
                                    IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  const TIdn2Text owned(converted, &idn2_free);
  if (code != IDN2_OK || converted == nullptr) {
    return false;
  }
  ascii = converted;
  return true;
}

bool Idn2ToUnicode(std::string_view ace, std::string& utf8) {
  char* converted = nullptr;
  const int code = idn2_to_unicode_8z8z(std::string(ace).c_str(), &converted, 0);
  const TIdn2Text owned(converted, &idn2_free);
  if (code != IDN2_OK || converted == nullptr) {
    return false;
  }
  utf8 = converted;
  return true;
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

// ASCII other than letters and digits: valid in a label for UTS #46 without
// its STD3 rules (the host parser refuses the delimiters among them), never
// mapped and never composed with what follows.
bool IsAsciiSymbol(char c) {
  const char upper = AsciiUpperChar(c);
  return static_cast<unsigned char>(c) < 0x80 && !(upper >= 'A' && upper <= 'Z') &&
         !(c >= '0' && c <= '9');
}

std::size_t FindAsciiSymbol(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (IsAsciiSymbol(text[i])) {
      return i;
    }
  }
  return text.size();
}

std::string AsciiLowerText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    c = AsciiLowerChar(c);
  }
  return lower;
}

// Code points of well-formed UTF-8.
std::u32string DecodeUtf8(std::string_view text) {
  std::u32string points;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    points += point;
    i += static_cast<std::size_t>(length);
  }
  return points;
}

// RFC 3492 section 6.1.
std::uint32_t AdaptBias(std::uint32_t delta, std::uint32_t points, bool first) {
  delta = first ? delta / 700 : delta / 2;
  delta += delta / points;
  std::uint32_t k = 0;
  while (delta > ((36 - 1) * 26) / 2) {
    delta /= 36 - 1;
    k += 36;
  }
  return k + (36 * delta) / (delta + 38);
}

char PunycodeDigit(std::uint32_t digit) {
  return static_cast<char>(digit < 26 ? 'a' + digit : '0' + digit - 26);
}

// RFC 3492 section 6.3: the basic code points, "-", then each other code
// point as a variable-length number of where it goes.
bool AppendPunycode(const std::u32string& points, std::string& out) {
  std::uint32_t basic = 0;
  for (const char32_t point : points) {
    if (point < 0x80) {
      out += static_cast<char>(point);
      ++basic;
    }
  }
  if (basic > 0) {
    out += '-';
  }
  std::uint32_t n = 0x80;
  std::uint32_t delta = 0;
  std::uint32_t bias = 72;
  for (std::uint32_t handled = basic; handled < points.size(); ++delta, ++n) {
    char32_t next = 0x10FFFF;
    for (const char32_t point : points) {
      if (point >= n && point < next) {
        next = point;
      }
    }
    if ((next - n) > (0xFFFFFFFF - delta) / (handled + 1)) {
      return false;
    }
    delta += (next - n) * (handled + 1);
    n = next;
    for (const char32_t point : points) {
      if (point < n && ++delta == 0) {
        return false;
      }
      if (point != n) {
        continue;
      }
      std::uint32_t q = delta;
      for (std::uint32_t k = 36;; k += 36) {
        const std::uint32_t t = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
        if (q < t) {
          break;
        }
        out += PunycodeDigit(t + (q - t) % (36 - t));
        q = (q - t) / (36 - t);
      }
      out += PunycodeDigit(q);
      bias = AdaptBias(delta, handled + 1, handled == basic);
      delta = 0;
      ++handled;
    }
  }
  return true;
}

int PunycodeDigitValue(char c) {
  if (c >= 'a' && c <= 'z') {
    return c - 'a';
  }
  if (c >= 'A' && c <= 'Z') {
    return c - 'A';
  }
  return c >= '0' && c <= '9' ? c - '0' + 26 : -1;
}

// RFC 3492 section 6.2, taking any ASCII before the last "-" (libidn2's
// decoder refuses symbols there, which browsers keep). Inserting a code
// point that needs no encoding, or is none, fails the label.
bool DecodePunycode(std::string_view text, std::u32string& points) {
  const std::size_t delimiter = text.rfind('-');
  points.clear();
  if (delimiter != std::string_view::npos) {
    for (const char c : text.substr(0, delimiter)) {
      points += static_cast<unsigned char>(c);
    }
    text.remove_prefix(delimiter + 1);
  }
  std::uint32_t n = 0x80;
  std::uint32_t i = 0;
  std::uint32_t bias = 72;
  for (std::size_t at = 0; at < text.size();) {
    const std::uint32_t old = i;
    for (std::uint32_t w = 1, k = 36;; k += 36) {
      const int digit = at < text.size() ? PunycodeDigitValue(text[at++]) : -1;
      if (digit < 0 || static_cast<std::uint32_t>(digit) > (0xFFFFFFFF - i) / w) {
        return false;
      }
      i += static_cast<std::uint32_t>(digit) * w;
      const std::uint32_t t = k <= bias ? 1 : k >= bias + 26 ? 26 : k - bias;
      if (static_cast<std::uint32_t>(digit) < t) {
        break;
      }
      if (w > 0xFFFFFFFF / (36 - t)) {
        return false;
      }
      w *= 36 - t;
    }
    const auto count = static_cast<std::uint32_t>(points.size() + 1);
    bias = AdaptBias(i - old, count, old == 0);
    n += i / count;
    i %= count;
    if (n < 0x80 || n > 0x10FFFF || (n >= 0xD800 && n <= 0xDFFF)) {
      return false;
    }
    points.insert(points.begin() + i, static_cast<char32_t>(n));
    ++i;
  }
  return true;
}

std::string EncodeUtf8(const std::u32string& points) {
  std::string text;
  for (const char32_t point : points) {
    if (point < 0x80) {
      text += static_cast<char>(point);
    } else if (point < 0x800) {
      text += static_cast<char>(0xC0 | (point >> 6));
      text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      text += static_cast<char>(0xE0 | (point >> 12));
      text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (point >> 18));
      text += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return text;
}

// The label mapped as UTS #46 maps it (case, width, compatibility forms,
// NFC), piece by piece between ASCII symbols, which stay as they are. A "0"
// before each piece keeps a leading combining mark from failing it.
bool MapLabelAroundSymbols(std::string_view label, std::string& mapped) {
  mapped.clear();
  for (std::size_t start = 0;;) {
    const std::size_t symbol = FindAsciiSymbol(label, start);
    const std::string_view piece = label.substr(start, symbol - start);
    std::string ace;
    std::string unicode;
    if (IsAscii(piece)) {
      mapped += AsciiLowerText(piece);
    } else if (Idn2ToAscii("0" + std::string(piece), ace) && Idn2ToUnicode(ace, unicode) &&
               !unicode.empty() && unicode[0] == '0') {
      mapped += unicode.substr(1);
    } else {
      return false;
    }
    if (symbol == label.size()) {
      return true;
    }
    mapped += label[symbol];
    start = symbol + 1;
  }
}

// Every check of UTS #46 but the hyphen rules and STD3 rules, which
// browsers leave out.
bool IsValidButForSymbols(std::string label) {
  for (char& c : label) {
    c = IsAsciiSymbol(c) ? 'a' : c;
  }
  std::string ace;
  return Idn2ToAscii(label, ace);
}

// libidn2 applies IDNA2008 rules that browsers do not: no "-" first or last
// or in the third and fourth place, no ASCII but letters, digits and "-".
// Such a label is checked and mapped without them and encoded here.
bool SymbolLabelToAscii(std::string_view label, std::string& out) {
  std::string mapped;
  if (SameTextIgnoringCase(label.substr(0, 4), "xn--")) {
    // Letter case was mapped before the decoding.
    std::u32string points;
    if (!DecodePunycode(AsciiLowerText(label.substr(4)), points) || points.empty()) {
      return false;
    }
    const std::string unicode = EncodeUtf8(points);
    if (!IsValidButForSymbols(unicode) || !MapLabelAroundSymbols(unicode, mapped) ||
        mapped != unicode) {
      return false;
    }
    out += AsciiLowerText(label);
    return true;
  }
  if (FindAsciiSymbol(label, 0) == label.size() || !IsValidButForSymbols(std::string(label)) ||
      !MapLabelAroundSymbols(label, mapped)) {
    return false;
  }
  if (IsAscii(mapped)) {
    out += mapped;
    return true;
  }
  out += "xn--";
  return AppendPunycode(DecodeUtf8(mapped), out);
}

// Length of the label separator at the start of the text: "." or one of
// the full stops UTS #46 maps to it, else 0.
std::size_t SeparatorLength(std::string_view text) {
  if (!text.empty() && text[0] == '.') {
    return 1;
  }
  for (const std::string_view stop : {"\u3002", "\uFF0E", "\uFF61"}) {
    if (text.substr(0, stop.size()) == stop) {
      return stop.size();
    }
  }
  return 0;
}

// Label by label, for a name libidn2 refuses as a whole.
bool LabelsToAscii(std::string_view utf8, std::string& out) {
  // Built apart: the caller may hand in the name and the result as one string.
  std::string ascii;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= utf8.size(); ++i) {
    const std::size_t separator = i == utf8.size() ? 1 : SeparatorLength(utf8.substr(i));
    if (separator == 0) {
      continue;
    }
    const std::string_view label = utf8.substr(start, i - start);
    std::string converted;
    if (IsAscii(label) && !SameTextIgnoringCase(label.substr(0, 4), "xn--")) {
      ascii += AsciiLowerText(label);
    } else if (Idn2ToAscii(label, converted)) {
      ascii += converted;
    } else if (!SymbolLabelToAscii(label, ascii)) {
      return false;
    }
    if (i < utf8.size()) {
      ascii += '.';
    }
    i += separator - 1;
    start = i + 1;
  }
  out = std::move(ascii);
  return true;
}

}  // namespace

bool DomainToAscii(std::string_view utf8, std::string& ascii) {
  if (utf8.find('\0') != std::string_view::npos) {
    return false;
  }
  return Idn2ToAscii(utf8, ascii) || LabelsToAscii(utf8, ascii);
}

}  // namespace movrek
