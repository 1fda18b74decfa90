#include "text/utf8_sequence.h"

namespace movrek {
namespace {

// Reads the sequence that starts the (non-empty) text: its length when it is
// well formed, else 0 with *valid the bytes that began it well.
std::size_t ReadSequence(std::string_view text, std::size_t* valid) {
  const auto lead = static_cast<unsigned char>(text[0]);
  *valid = 1;
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  // The bounds of the second byte exclude overlong forms, surrogates and
  // code points above U+10FFFF (RFC 3629 section 4).
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i, low = 0x80, high = 0xBF) {
    const auto byte = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    if (byte < low || byte > high) {
      *valid = i;
      return 0;
    }
  }
  return length;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text) {
  std::size_t valid = 0;
  return text.empty() ? 0 : ReadSequence(text, &valid);
}

std::size_t Utf8MalformedLength(std::string_view text) {
  std::size_t valid = 0;
  return text.empty() || ReadSequence(text, &valid) != 0 ? 0 : valid;
}

bool IsWellFormedUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      return false;
    }
    text.remove_prefix(length);
  }
  return true;
}

}  // namespace movrek
