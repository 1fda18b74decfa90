// Text as a terminal shows it and a saved list keeps it: every line Movrek
// prints or saves holds bytes from outside (the URL list, a server's headers,
// a page's <base>), and a control byte among them could move the cursor,
// recolour the screen or end a line early.
#pragma once

#include <string>
#include <string_view>

namespace movrek {

// Whether the character starting the text is a control character: C0 but
// TAB, DEL, or C1 (U+0080 to U+009F as UTF-8, or a byte 0x80 to 0x9F that
// begins no UTF-8 sequence, which a Latin-1 terminal takes as C1). Its
// bytes go to *length (at least 1 for a text that is not empty).
bool StartsWithControl(std::string_view text, std::size_t* length);

// The text with each control character replaced by '?'; every other byte,
// UTF-8 or not, is kept.
std::string PrintableText(std::string_view text);

}  // namespace movrek
