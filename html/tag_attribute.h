// An attribute of a start tag read as the HTML standard's tokenizer reads it,
// from a tag text the scanner cut out.
#pragma once

#include <string_view>

namespace movrek {

// The value of the first attribute named name (ASCII letters in any case) in
// the tag text ("a href='x' title=y", perhaps with its "<" and ">"), as
// written between its delimiting quotes, or unquoted up to white space;
// references are not decoded. A value that the text ends inside runs to the
// end. False when the tag has no such attribute; an attribute written
// without "=" has the empty value.
bool FindTagAttribute(std::string_view tagText, std::string_view name, std::string_view* value);

}  // namespace movrek
