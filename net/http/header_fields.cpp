#include "net/http/header_fields.h"

#include "text/ascii_text.h"

namespace movrek {

std::vector<std::string> HeaderFieldValues(const std::vector<std::string>& headers,
                                           std::string_view name) {
  std::vector<std::string> values;
  for (const std::string& line : headers) {
    const std::string_view text(line);
    if (text.size() <= name.size() || text[name.size()] != ':' ||
        AsciiLower(std::string(text.substr(0, name.size()))) != AsciiLower(std::string(name))) {
      continue;
    }
    values.emplace_back(TrimControls(text.substr(name.size() + 1)));
  }
  return values;
}

std::string MediaTypeOf(const std::vector<std::string>& headers) {
  const std::string value = ContentTypeOf(headers);
  return AsciiLower(std::string(TrimControls(std::string_view(value).substr(0, value.find(';')))));
}

std::string ContentTypeOf(const std::vector<std::string>& headers) {
  const std::vector<std::string> values = HeaderFieldValues(headers, "Content-Type");
  return values.empty() ? std::string() : values.back();
}

void ApplyHeaderOverrides(const std::vector<std::string>& overrides,
                          std::vector<std::string>& head) {
  for (const std::string& line : overrides) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos || head.empty()) {
      continue;
    }
    const std::string_view name = std::string_view(line).substr(0, colon);
    std::erase_if(head, [&](const std::string& own) {
      return &own != &head.front() && own.size() > colon && own[colon] == ':' &&
             SameTextIgnoringCase(std::string_view(own).substr(0, colon), name);
    });
    if (!TrimControls(std::string_view(line).substr(colon + 1)).empty()) {
      head.push_back(line);
    }
  }
}

}  // namespace movrek
