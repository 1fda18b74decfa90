#pragma once

#include <array>
#include <string>
#include <string_view>

#include "engine/listing/listing_sink.h"

namespace movrek {

struct TPageText;

// What the listing knows of a fetched page beside its file.
struct TPageSource {
  std::string FinalAddress;  // the address the page was reached at, after redirects
  std::string ContentType;   // the final response's Content-Type value; may be empty
};

// Appends the block of links of one saved page to the result list: the four
// header lines (base: the value for the "# Baseurl: " line), then, in
// document order, for every anchor tag with an href attribute the address a
// browser opens for it, kept or dropped by the keyword filter. Throws
// EFileOpenError when the file cannot be read.
void ListLinks(TListingSink& sink, const std::string& documentFile, const std::string& base,
               const std::string& pageAddress, const TPageSource& source);
// The same for a page already read (ReadPageText of its file).
void ListLinks(TListingSink& sink, TPageText page, const std::string& base,
               const std::string& pageAddress, const std::string& finalAddress);

// The four comment lines that open the block of one page.
std::array<std::string, 4> BlockHeader(const std::string& pageAddress, const std::string& base);

// The line written for one link, and what the filter looks at: the href as
// its author wrote it, character references decoded (tabs and line breaks,
// which browsers drop, left out).
struct TListedLink {
  std::string Cleaned;
  std::string Line;
};

// Whether the filter lets a link through, judged on its cleaned value.
bool PassesFilter(const TFilterSettings& filter, const std::string& cleaned);

}  // namespace movrek
