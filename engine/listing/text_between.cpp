#include "engine/listing/text_between.h"

namespace movrek {

std::size_t PosFrom(std::size_t from, std::string_view source, std::string_view delimiter) {
  if (from == 0) {
    from = 1;  // positions start at 1
  }
  if (from > source.size()) {
    return 0;
  }
  const std::size_t at = source.find(delimiter, from - 1);
  return at == std::string_view::npos ? 0 : at + 1;
}

std::string TextBetween(std::string_view source, std::string_view start, std::string_view end) {
  const std::size_t found = source.find(start);
  if (found == std::string_view::npos) {
    return {};
  }
  const std::size_t p1 = found + 1;
  std::size_t p2 = PosFrom(p1 + start.size(), source, end);
  if (p2 == 0) {
    p2 = source.size() + 1;
  }
  const std::size_t first = p1 + start.size();  // 1-based, right after the start delimiter
  return std::string(source.substr(first - 1, p2 - first));
}

}  // namespace movrek
