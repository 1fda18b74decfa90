// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF), checked where text from a page must be read as code points.
#pragma once

#include <cstddef>
#include <string_view>

namespace movrek {

// Bytes of the well-formed sequence that starts the text, 0 when it starts
// with a byte that begins none (or the text is empty).
std::size_t Utf8SequenceLength(std::string_view text);

bool IsWellFormedUtf8(std::string_view text);

}  // namespace movrek
