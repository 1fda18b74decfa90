#include "text/text_lines.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {

namespace {

#if defined(__SSE2__)
// Bit i set when byte i of the 16 at p equals a or b.
inline unsigned MatchMask16(const char* p, __m128i va, __m128i vb) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, va), _mm_cmpeq_epi8(chunk, vb))));
}
#endif

}  // namespace

std::string_view TextBeforeNul(std::string_view bytes) {
  if (bytes.empty()) {
    return bytes;  // an empty text may have no storage at all
  }
  const void* nul = std::memchr(bytes.data(), '\0', bytes.size());
  if (nul == nullptr) {
    return bytes;
  }
  return bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
}

const char* FindFirstOf2(const char* begin, const char* end, char a, char b) {
  const char* p = begin;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  while (end - p >= 16) {
    const unsigned mask = MatchMask16(p, va, vb);
    if (mask != 0) {
      return p + __builtin_ctz(mask);
    }
    p += 16;
  }
#endif
  for (; p < end; ++p) {
    if (*p == a || *p == b) {
      return p;
    }
  }
  return end;
}

const char* FindLastOf2(const char* begin, const char* end, char a, char b) {
  const char* p = end;
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(a);
  const __m128i vb = _mm_set1_epi8(b);
  while (p - begin >= 16) {
    const unsigned mask = MatchMask16(p - 16, va, vb);
    if (mask != 0) {
      return p - 16 + (31 - __builtin_clz(mask));
    }
    p -= 16;
  }
#endif
  while (p > begin) {
    --p;
    if (*p == a || *p == b) {
      return p;
    }
  }
  return nullptr;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const auto& line : lines) {
    size += line.size() + 2;
  }
  std::string text;
  text.reserve(size);
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace movrek
