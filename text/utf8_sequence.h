// Well-formed UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF), checked where text from a page must be read as code points.
#pragma once

#include <cstddef>
#include <string_view>

namespace movrek {

// Bytes of the well-formed sequence that starts the text, 0 when it starts
// with a byte that begins none (or the text is empty).
std::size_t Utf8SequenceLength(std::string_view text);
// For a text that starts with no well-formed sequence: how many of its bytes
// one U+FFFD replaces (the maximal part of a sequence, as the Encoding
// standard's decoder reads it); at least 1 for a text that is not empty.
std::size_t Utf8MalformedLength(std::string_view text);

bool IsWellFormedUtf8(std::string_view text);

}  // namespace movrek
