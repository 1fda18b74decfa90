#include "net/http/content_type.h"

#include <string_view>

#include "html/ascii_text.h"

namespace movrek {

std::string ResponseContentType(const std::vector<std::string>& headLines) {
  static constexpr std::string_view kName = "content-type:";
  std::string value;
  for (const std::string& line : headLines) {
    if (StartsWith(line, "HTTP/")) {
      value.clear();  // a new answer: what came before was an interim one
    } else if (SameTextIgnoringCase(std::string_view(line).substr(0, kName.size()), kName)) {
      value = TrimControls(std::string_view(line).substr(kName.size()));
    }
  }
  return value;
}

}  // namespace movrek
