#include "fuzz/html/tokenizer_check.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/html/token_recorder.h"

namespace movrek::fuzzing {

namespace {

constexpr std::array<TTokenizerStart, 6> kStarts = {
    TTokenizerStart::Data,       TTokenizerStart::RcData,    TTokenizerStart::RawText,
    TTokenizerStart::ScriptData, TTokenizerStart::PlainText, TTokenizerStart::CData};
constexpr std::array<std::string_view, 7> kLastStartTags = {"",    "title",  "textarea", "style",
                                                            "xmp", "script", "plaintext"};

// Pieces of every length from one byte up, most of them short.
std::vector<std::string_view> Pieces(std::string_view page, unsigned seed) {
  std::minstd_rand random(seed + 1);
  std::vector<std::string_view> pieces;
  while (!page.empty()) {
    const std::size_t length = 1 + random() % (std::size_t{1} << (random() % 12));
    pieces.push_back(page.substr(0, length));
    page.remove_prefix(pieces.back().size());
  }
  return pieces;
}

// Control bytes and those past ASCII as \xNN, so that a report shows them.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      std::array<char, 5> hex{};
      std::snprintf(hex.data(), hex.size(), "\\x%02x", byte);
      out += hex.data();
    }
  }
  return out;
}

}  // namespace

void CheckTokenizerPiecesOnInput(std::string_view bytes) {
  if (bytes.size() < 4) {
    return;
  }
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const test::TTokenizerSetup setup = {
      .Start = kStarts[byte(0) % kStarts.size()],
      .LastStartTag = kLastStartTags[byte(0) / kStarts.size() % kLastStartTags.size()],
      .MaxTagBytes = 4 + std::size_t{byte(1)},
  };
  const std::string_view page = bytes.substr(4);
  const std::string whole = test::RecordTokens(page, setup);
  const std::string pieces = test::RecordTokens(Pieces(page, byte(2) | byte(3) << 8U), setup);
  if (pieces != whole) {
    std::fprintf(stderr, "whole:  %s\npieces: %s\n", Escaped(whole).c_str(),
                 Escaped(pieces).c_str());
    std::abort();
  }
}

}  // namespace movrek::fuzzing
