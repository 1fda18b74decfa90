// Reads pairs of base and href, each as its length in bytes, a line feed and
// the bytes (an empty base: none), and writes a line with the href each
// parses to, or "FAIL": the C++ side of the comparison with Node's URL in
// web_url_vs_node.js. A serialised URL holds no line feed.
#include <iostream>
#include <iterator>
#include <optional>
#include <string>

#include "net/base/web_url.h"

int main() {
  const std::string input{std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>()};
  std::string lastBase = "\x01";
  std::optional<movrek::TWebUrl> base;
  std::string output;
  std::size_t at = 0;
  const auto next = [&input, &at](std::string& text) {
    const std::size_t lineEnd = input.find('\n', at);
    if (lineEnd == std::string::npos) return false;
    const std::size_t length = std::stoul(input.substr(at, lineEnd - at));
    text = input.substr(lineEnd + 1, length);
    at = lineEnd + 1 + length;
    return text.size() == length;
  };
  std::string baseText;
  std::string href;
  while (at < input.size()) {
    if (!next(baseText) || !next(href)) return 2;
    if (baseText != lastBase) {
      lastBase = baseText;
      base = baseText.empty() ? std::nullopt : movrek::ParseWebUrl(baseText);
    }
    movrek::TWebUrl url;
    const bool parsed = (baseText.empty() || base) &&
                        movrek::ParseWebUrl(href, base ? &*base : nullptr, nullptr, url);
    output += parsed ? url.Href : std::string("FAIL");
    output += '\n';
  }
  std::cout << output;
  return 0;
}
