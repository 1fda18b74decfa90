#include "engine/listing/base_detection.h"

#include <algorithm>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/listing/text_between.h"
#include "html/text_file.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

constexpr std::string_view kBaseWords = "BASE HREF";

bool IsBaseHrefAt(const char* p) {
  return std::equal(kBaseWords.begin(), kBaseWords.end(), p,
                    [](char word, char c) { return word == AsciiUpperChar(c); });
}

#if defined(__SSE2__)
// Bit i set when place p + i may start the words: a "b" with a blank four
// bytes on.
inline unsigned CandidateMask16(const char* p) {
  const auto at = [p](int offset) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + offset));
  };
  const __m128i b = _mm_cmpeq_epi8(_mm_or_si128(at(0), _mm_set1_epi8(0x20)), _mm_set1_epi8('b'));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_and_si128(b, _mm_cmpeq_epi8(at(4), _mm_set1_epi8(' ')))));
}
#endif

// Position of the first "BASE HREF" in any ASCII letter case, or npos. The
// words hold no line break, so the first match in the text lies on the first
// line that holds them. Every byte of every page passes here, so places are
// tried thirty-two at a time by two of their letters first.
std::size_t FindBaseHref(std::string_view text) {
  const char* const data = text.data();
  const char* const end = data + text.size();
  const char* p = data;
#if defined(__SSE2__)
  for (; end - p >= 32 + 4; p += 32) {
    const unsigned low = CandidateMask16(p);
    const unsigned high = CandidateMask16(p + 16);
    for (unsigned mask = low | (high << 16); mask != 0; mask &= mask - 1) {
      const char* const candidate = p + __builtin_ctz(mask);
      if (end - candidate >= std::ptrdiff_t(kBaseWords.size()) && IsBaseHrefAt(candidate)) {
        return static_cast<std::size_t>(candidate - data);
      }
    }
  }
#endif
  for (; end - p >= std::ptrdiff_t(kBaseWords.size()); ++p) {
    if (IsBaseHrefAt(p)) {
      return static_cast<std::size_t>(p - data);
    }
  }
  return std::string_view::npos;
}

bool IsAsciiLetter(char c) {
  const char upper = AsciiUpperChar(c);
  return upper >= 'A' && upper <= 'Z';
}

// A scheme (a letter, then letters, digits, "+", "-" or ".") and "://".
bool StartsWithSchemeAndSlashes(std::string_view address) {
  const std::size_t colon = address.find(':');
  if (colon == std::string_view::npos || colon == 0 || !IsAsciiLetter(address[0])) {
    return false;
  }
  for (const char c : address.substr(1, colon - 1)) {
    if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') {
      return false;
    }
  }
  return address.substr(colon, 3) == "://";
}

}  // namespace

std::string DetectBase(const std::string& documentFile) {
  return DetectBaseInText(ReadFileBytes(documentFile));
}

std::string DetectBaseInText(std::string_view bytes) {
  const std::string_view text = TextBeforeNul(bytes);
  const std::size_t at = FindBaseHref(text);
  if (at == std::string_view::npos) {
    return "NONE";
  }
  std::size_t line_end = text.find_first_of("\r\n", at);
  if (line_end == std::string_view::npos) {
    line_end = text.size();
  }
  return TextBetween(text.substr(at, line_end - at), "\"", "\"");
}

void TDeclaredBaseSearch::Feed(std::string_view bytes) {
  if (stage_ == TStage::Done) {
    return;
  }
  // The text ends at its first NUL byte.
  std::string_view text = TextBeforeNul(bytes);
  const bool ends = text.size() < bytes.size();
  if (stage_ == TStage::Searching) {
    Search(text);
  }
  // The value lies between the first two double quotes after the words, on
  // their line; without a second quote it runs to the line's end.
  while (!text.empty() && stage_ != TStage::Searching && stage_ != TStage::Done) {
    const std::size_t stop = text.find_first_of("\"\r\n");
    if (stage_ == TStage::InQuotes) {
      value_.append(text.substr(0, stop));
    }
    if (stop == std::string_view::npos) {
      break;
    }
    stage_ = text[stop] == '"' && stage_ == TStage::BeforeQuote ? TStage::InQuotes : TStage::Done;
    text.remove_prefix(stop + 1);
  }
  if (ends) {
    stage_ = TStage::Done;
  }
}

// Moves text past the words when they occur (perhaps begun in the bytes
// searched before); otherwise empties it and carries its last bytes.
void TDeclaredBaseSearch::Search(std::string_view& text) {
  static constexpr std::size_t kCarried = 8;  // one less than "BASE HREF"
  std::string joined = carry_;
  joined.append(text.substr(0, kCarried));
  std::size_t at = FindBaseHref(joined);
  std::size_t after = 0;
  if (at != std::string_view::npos && at < carry_.size()) {
    after = at + kCarried + 1 - carry_.size();
  } else if (at = FindBaseHref(text); at != std::string_view::npos) {
    after = at + kCarried + 1;
  } else {
    if (text.size() >= kCarried) {
      carry_.assign(text.substr(text.size() - kCarried));
    } else {
      carry_.append(text);
      carry_.erase(0, carry_.size() > kCarried ? carry_.size() - kCarried : 0);
    }
    text = {};
    return;
  }
  found_ = true;
  stage_ = TStage::BeforeQuote;
  carry_.clear();
  text.remove_prefix(after);
}

std::string DirectoryBase(const std::string& address) {
  // An address that ends with its authority has no directory to cut; the
  // general rule below would cut into the scheme or the port.
  if (StartsWithSchemeAndSlashes(address)) {
    const std::size_t authority_end = address.find_first_of("/?#", address.find(':') + 3);
    if (authority_end == std::string::npos || address[authority_end] != '/') {
      return address.substr(0, authority_end);
    }
  }
  std::string u = address;
  std::replace(u.begin(), u.end(), '/', '\\');
  std::size_t p = 0;  // 1-based; 0 = none
  if (const std::size_t last = u.find_last_of("\\:"); last != std::string::npos) {
    p = last + 1;
  }
  if (p > 1 && u[p - 1] == '\\' && u[p - 2] != '\\' && u[p - 2] != ':') {
    --p;
  }
  u.resize(p);
  std::replace(u.begin(), u.end(), '\\', '/');
  return u;
}

std::string ChooseBase(const std::string& documentFile, const std::string& finalAddress) {
  return ChooseBaseOfText(ReadFileBytes(documentFile), finalAddress);
}

std::string ChooseBaseOfText(std::string_view text, const std::string& finalAddress) {
  return ChooseBaseOfDeclared(DetectBaseInText(text), finalAddress);
}

std::string ChooseBaseOfDeclared(const std::string& declared, const std::string& finalAddress) {
  std::string base = declared == "NONE" ? DirectoryBase(finalAddress) : declared;
  if (base.empty() || base.back() != '/') {
    base += '/';
  }
  return base;
}

}  // namespace movrek
