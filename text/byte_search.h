// Searches over the bytes of a page that run on every byte: the text between
// tags, quoted values, hrefs. Most of these runs are short, where a call into
// the C library costs more than the search itself, so the first blocks are
// tried here, sixteen bytes at a time, and only a long run goes to memchr.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {

#if defined(__SSE2__)
namespace byte_search_detail {

inline __m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline unsigned Mask16(__m128i bytes) {
  return static_cast<unsigned>(_mm_movemask_epi8(bytes));
}

// Bit i set when byte i of the 16 at p is below 0x21 or above 0x7E: a blank,
// a control character, DEL or a byte of a multi-byte sequence.
inline unsigned OutsidePrintable16(const char* p) {
  // Shifted so that 0x21..0x7E become the lowest signed bytes.
  const __m128i shifted = _mm_sub_epi8(Load16(p), _mm_set1_epi8(0x21 - 128));
  return Mask16(_mm_cmpgt_epi8(shifted, _mm_set1_epi8(0x7E - 0x21 - 128)));
}

}  // namespace byte_search_detail
#endif

// The first c in [p, end), or end.
inline const char* FindByte(const char* p, const char* end, char c) {
#if defined(__SSE2__)
  using namespace byte_search_detail;
  const __m128i wanted = _mm_set1_epi8(c);
  for (int block = 0; block < 4 && end - p >= 16; ++block, p += 16) {
    if (const unsigned mask = Mask16(_mm_cmpeq_epi8(Load16(p), wanted)); mask != 0) {
      return p + __builtin_ctz(mask);
    }
  }
#endif
  const void* hit = p < end ? std::memchr(p, c, static_cast<std::size_t>(end - p)) : nullptr;
  return hit == nullptr ? end : static_cast<const char*>(hit);
}

// Whether every byte of [p, end) is printable ASCII (0x21 to 0x7E).
inline bool AllPrintableAscii(const char* p, const char* end) {
#if defined(__SSE2__)
  using namespace byte_search_detail;
  for (; end - p >= 16; p += 16) {
    if (OutsidePrintable16(p) != 0) {
      return false;
    }
  }
#endif
  for (; p < end; ++p) {
    if (static_cast<unsigned char>(*p) < 0x21 || static_cast<unsigned char>(*p) > 0x7E) {
      return false;
    }
  }
  return true;
}

// Whether any byte of text is one of Bytes or, with orHigh, from 0x80 up.
template <char... Bytes>
bool ContainsAnyOf(std::string_view text, bool orHigh = false) {
  const char* p = text.data();
  const char* const end = p + text.size();
#if defined(__SSE2__)
  using namespace byte_search_detail;
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = Load16(p);
    const __m128i hits = (_mm_cmpeq_epi8(bytes, _mm_set1_epi8(Bytes)) | ...);
    if ((Mask16(hits) | (orHigh ? Mask16(bytes) : 0U)) != 0) {
      return true;
    }
  }
#endif
  for (; p < end; ++p) {
    if (((*p == Bytes) || ...) || (orHigh && static_cast<unsigned char>(*p) >= 0x80)) {
      return true;
    }
  }
  return false;
}

}  // namespace movrek
