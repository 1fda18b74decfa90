#pragma once

#include <string>

namespace movrek {

// 1-based position of the first match of `pattern` in `text`, 0 when there is
// none. Each "?" in the pattern matches any one character; everything else
// must match exactly (letter case included). An empty pattern never matches.
int PosWild(const std::string& pattern, const std::string& text);

}  // namespace movrek
