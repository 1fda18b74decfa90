#pragma once

#include <string>
#include <string_view>

namespace movrek {

// The 1-based position of the first delimiter that begins at or after the
// 1-based position from; 0 when there is none.
std::size_t PosFrom(std::size_t from, std::string_view source, std::string_view delimiter);

// The text between the first start delimiter and the first end delimiter
// after it, or from the start delimiter to the end of the source when no end
// delimiter follows; empty when the start delimiter does not occur.
std::string TextBetween(std::string_view source, std::string_view start, std::string_view end);

}  // namespace movrek
