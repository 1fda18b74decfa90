#pragma once

#include <array>
#include <string>

#include "engine/listing_sink.h"

namespace movrek {

class TDocumentText;

// Appends the block of links of one saved page to the result list: the four
// header lines, then the href of every anchor tag in document order, quotes
// removed, relative ones resolved against the base, kept or dropped by the
// window's keyword filter. Throws EFileOpenError when the file cannot be read.
void ListLinks(TListingSink& sink, const std::string& documentFile, const std::string& base,
               const std::string& pageAddress);
// The same for a page already read (TDocumentText::FromFile of its file).
void ListLinks(TListingSink& sink, TDocumentText text, const std::string& base,
               const std::string& pageAddress);

// The four comment lines that open the block of one page.
std::array<std::string, 4> BlockHeader(const std::string& pageAddress, const std::string& base);

// The line written for one href value, and the cleaned value the filter looks
// at: apostrophes, double quotes, tabs and line breaks removed; a value that starts with a URI
// scheme stands as it is; a relative one is resolved against the base by
// RFC 3986 section 5.2 when the base is an absolute address, else the base
// is put in front of it.
struct TListedLink {
  std::string Cleaned;
  std::string Line;
};
TListedLink FormLink(const std::string& href, const std::string& base);

// Whether the filter lets a link through, judged on its cleaned value.
bool PassesFilter(const TFilterSettings& filter, const std::string& cleaned);

}  // namespace movrek
