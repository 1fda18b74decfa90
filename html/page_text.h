// A saved page read for scanning, with the encoding its bytes are in.
#pragma once

#include <string>
#include <string_view>

#include "html/document_text.h"
#include "html/text_encoding.h"

namespace movrek {

struct TPageText {
  // The text the scanner reads, lines ending in CR LF: the page's own bytes
  // when its encoding keeps ASCII as ASCII, else the page decoded to UTF-8.
  TDocumentText Text;
  // The page's encoding, found by sniffing: what its queries are encoded in.
  TTextEncoding Encoding{"UTF-8"};
  // Whether Text is already UTF-8 (decoded from UTF-16 or ISO-2022-JP);
  // else attribute values are in Encoding.
  bool TextIsUtf8 = false;
};

// Reads the saved page whose response carried contentType (the value of its
// Content-Type field, perhaps empty). Throws EFileOpenError when the file
// cannot be read.
TPageText ReadPageText(const std::string& fileName, std::string_view contentType);

}  // namespace movrek
