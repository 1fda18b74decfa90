// The scan that cuts a document text into tag, text and SCRIPT content
// elements; the document runs it on every load.
#pragma once

#include <string_view>

namespace movrek {

class THTMLObject;

// Scans the text (whose lines already end in CR LF) into document.Elements,
// calling the document's hooks; false when a hook stopped the scan.
bool ScanDocument(THTMLObject& document, std::string_view text);

}  // namespace movrek
