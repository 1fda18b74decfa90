#include "net/http/wildcard.h"

namespace movrek {

int PosWild(const std::string& pattern, const std::string& text) {
  if (pattern.find('?') == std::string::npos) {
    if (pattern.empty()) {
      return 0;
    }
    const size_t at = text.find(pattern);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
  }
  if (pattern.size() > text.size()) {
    return 0;
  }
  const size_t last_start = text.size() - pattern.size();
  for (size_t k = 0; k <= last_start; ++k) {
    size_t j = 0;
    while (j < pattern.size() && (pattern[j] == '?' || pattern[j] == text[k + j])) {
      ++j;
    }
    if (j == pattern.size()) {
      return static_cast<int>(k) + 1;
    }
  }
  return 0;
}

}  // namespace movrek
