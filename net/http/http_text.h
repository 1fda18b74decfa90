#pragma once

#include <string>

// Text helpers of the HTTP layer: header names and tokens compare in ASCII
// case only (RFC 9110 section 5.1), and field values lose the whitespace and
// control characters around them.
namespace movrek::http_text {

std::string AsciiUpper(std::string text);
std::string AsciiLower(std::string text);
bool StartsWith(const std::string& text, const std::string& prefix);
// Removes leading and trailing characters with codes 0 to 32.
std::string TrimControls(const std::string& text);

}  // namespace movrek::http_text
