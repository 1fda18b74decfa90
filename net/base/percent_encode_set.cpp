#include "net/base/percent_encode_set.h"

#include <array>

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

void AppendPercentEncoded(std::string_view bytes, TEncodeSet set, std::string& out) {
  const auto bit = static_cast<std::uint8_t>(set);
  std::size_t run = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
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
