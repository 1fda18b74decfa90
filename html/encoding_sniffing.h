// Which encoding a page is in, found as the HTML standard's encoding sniffing
// finds it for a page without a parent or a user's choice.
#pragma once

#include <cstddef>
#include <string_view>

namespace movrek {

struct TSniffedEncoding {
  std::string_view Name;      // the Encoding standard's name, e.g. "windows-1252"
  std::size_t BomLength = 0;  // bytes of a byte order mark at the start
};

// A byte order mark, else the charset of the Content-Type field's value,
// else a meta declaration among the first 1,024 bytes, else windows-1252.
TSniffedEncoding SniffEncoding(std::string_view bytes, std::string_view contentType);

// The encoding the charset parameter of a MIME type names ("text/html;
// charset=UTF-8"); empty when there is none or the label is unknown.
std::string_view EncodingOfContentType(std::string_view contentType);

// The standard's prescan of the bytes (the first 1,024 of a page) for a
// <meta charset> or a <meta http-equiv="Content-Type" content="...">; empty
// when it finds none.
std::string_view PrescanForEncoding(std::string_view bytes);

// The encoding a meta element's content attribute names
// ("text/html; charset=koi8-r"); empty when it names none.
std::string_view EncodingOfMetaContent(std::string_view content);

}  // namespace movrek
