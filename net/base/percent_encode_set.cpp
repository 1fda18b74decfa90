#include "net/base/percent_encode_set.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {
namespace {

constexpr std::uint8_t Bits(std::initializer_list<TEncodeSet> sets) {
  std::uint8_t bits = 0;
  for (const TEncodeSet set : sets) {
    bits |= static_cast<std::uint8_t>(set);
  }
  return bits;
}

constexpr void Add(std::array<std::uint8_t, 256>& table, std::string_view bytes,
                   std::uint8_t bits) {
  for (const char c : bytes) {
    table[static_cast<unsigned char>(c)] |= bits;
  }
}

constexpr std::array<std::uint8_t, 256> MakeTable() {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    if (b < 0x20 || b > 0x7E) {
      table[b] = 0x7F;
    }
  }
  using enum TEncodeSet;
  const std::uint8_t fromQuery = Bits({Query, SpecialQuery, Path, Userinfo, Component});
  const std::uint8_t fromPath = Bits({Path, Userinfo, Component});
  const std::uint8_t fromUserinfo = Bits({Userinfo, Component});
  Add(table, " \"<>", fromQuery | Bits({Fragment}));
  Add(table, "`", fromPath | Bits({Fragment}));
  Add(table, "#", fromQuery);
  Add(table, "'", Bits({SpecialQuery}));
  Add(table, "?{}", fromPath);
  Add(table, "/:;=@[\\]^|", fromUserinfo);
  Add(table, "$%&+,", Bits({Component}));
  return table;
}

constexpr std::array<std::uint8_t, 256> kSets = MakeTable();

}  // namespace

bool InEncodeSet(unsigned char byte, TEncodeSet set) {
  return (kSets[byte] & static_cast<std::uint8_t>(set)) != 0;
}

void AppendPercentByte(unsigned char byte, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const char escaped[3] = {'%', kHex[byte >> 4], kHex[byte & 15]};
  out.append(escaped, 3);
}

#if defined(__SSE2__)
// Whether none of the 16 bytes at p can be in a set up to the path set: no
// byte outside printable ASCII and none of the printable bytes those sets
// hold. Most of an href passes, sixteen bytes at a time.
bool PlainForPathSets16(const char* p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(0x21 - 128));
  __m128i hits = _mm_cmpgt_epi8(shifted, _mm_set1_epi8(0x7E - 0x21 - 128));
  for (const char c : {'"', '#', '\'', '<', '>', '?', '`', '{', '}'}) {
    hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)));
  }
  return _mm_movemask_epi8(hits) == 0;
}
#endif

void AppendPercentEncoded(std::string_view bytes, TEncodeSet set, std::string& out) {
  const auto bit = static_cast<std::uint8_t>(set);
  std::size_t i = 0;
#if defined(__SSE2__)
  if (set != TEncodeSet::Userinfo && set != TEncodeSet::Component) {
    while (i + 16 <= bytes.size() && PlainForPathSets16(bytes.data() + i)) {
      i += 16;
    }
  }
#endif
  std::size_t run = 0;
  for (; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if ((kSets[byte] & bit) != 0) {
      out.append(bytes.data() + run, i - run);
      AppendPercentByte(byte, out);
      run = i + 1;
    }
  }
  out.append(bytes.data() + run, bytes.size() - run);
}

}  // namespace movrek
