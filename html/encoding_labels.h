// The labels of the Encoding standard and the encodings they name.
#pragma once

#include <string_view>

namespace movrek {

// The encoding's name ("UTF-8", "windows-1252", "Shift_JIS", ...) for a
// label, ASCII white space around it and letter case ignored; empty for a
// label the standard does not know.
std::string_view EncodingOfLabel(std::string_view label);

// The name glibc's iconv knows the encoding by; empty for the two it does
// not know ("replacement", "x-user-defined"), which are decoded by hand.
std::string_view IconvNameOf(std::string_view encoding);

}  // namespace movrek
