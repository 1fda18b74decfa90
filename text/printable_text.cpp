#include "text/printable_text.h"

#include "text/utf8_sequence.h"

namespace movrek {

bool StartsWithControl(std::string_view text, std::size_t* length) {
  *length = 1;
  if (text.empty()) {
    return false;
  }
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) {
    return (lead < 0x20 && lead != '\t') || lead == 0x7F;
  }
  const std::size_t sequence = Utf8SequenceLength(text);
  if (sequence == 0) {
    return lead <= 0x9F;
  }
  *length = sequence;
  return lead == 0xC2 && static_cast<unsigned char>(text[1]) <= 0x9F;
}

std::string PrintableText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  while (!text.empty()) {
    std::size_t length = 0;
    if (StartsWithControl(text, &length)) {
      shown += '?';
    } else {
      shown.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return shown;
}

}  // namespace movrek
