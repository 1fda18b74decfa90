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

}  // namespace movrek
