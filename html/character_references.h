// Character references in attribute values and in text, decoded as the HTML
// standard's tokenizer decodes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace movrek {

// Appends the UTF-8 form of the code point (which must be a scalar value).
void AppendUtf8(std::uint32_t codePoint, std::string& out);

// Appends the attribute value (UTF-8) to out with every character reference
// replaced by what it stands for: decimal and hexadecimal ones (0, surrogates
// and values past U+10FFFF give U+FFFD, 0x80 to 0x9F the windows-1252
// characters browsers show) and the named ones of the standard's table, the
// longest name matching. A name written without ";" that "=" or a letter or
// digit follows stays as written ("?a=1&copy=2"), as does any "&" that starts
// no reference.
void AppendAttributeDecoded(std::string_view value, std::string& out);

// The same for text between tags and in <title> or <textarea>, where a
// legacy name without ";" is read whatever follows ("&notit;" is "\u00ACit;").
void AppendTextDecoded(std::string_view text, std::string& out);

}  // namespace movrek
