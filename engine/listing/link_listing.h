#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/listing/listing_sink.h"

namespace movrek {

struct TPageText;
struct THtmlStartTag;
class TTextEncoding;

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
// The block of a saved page whose response carried contentType, its
// "# Baseurl:" line from the base the page declares. The page is read in
// pieces, twice, so that neither it nor its links are held whole. withText:
// each link carries its anchor's text and rel.
void ListSavedPage(TListingSink& sink, const std::string& documentFile,
                   std::string_view contentType, const std::string& pageAddress,
                   const std::string& finalAddress, bool withText = false);
// The same for a page already read (ReadPageText of its file).
void ListLinks(TListingSink& sink, TPageText page, const std::string& base,
               const std::string& pageAddress, const std::string& finalAddress);

// What one start tag is to the listing: an anchor or a base of the document
// (not of foreign content, not inside <template>) with an href, which is set
// to the href as written.
enum class TAnchorTag : std::uint8_t { None, Anchor, Base };
TAnchorTag AnchorTagOf(const THtmlStartTag& tag, std::string_view* href);

struct TListedLink;
struct TWrittenAnchor;

// The listed links of a page's anchors: each href decoded from the page's
// encoding and resolved as a browser resolves it against the page's base.
class TAnchorResolver {
 public:
  // textIsUtf8: the values are UTF-8 whatever encoding says. The encoding is
  // borrowed for the resolver's life.
  TAnchorResolver(TTextEncoding& encoding, bool textIsUtf8, const std::string& finalAddress);
  TAnchorResolver(const TAnchorResolver&) = delete;
  TAnchorResolver& operator=(const TAnchorResolver&) = delete;
  ~TAnchorResolver();

  // The href of the page's first <base> that has one, as written: the base
  // for every link, those listed before it included.
  void UseBaseHref(std::string_view written);
  // The link of an href as written.
  TListedLink Resolve(std::string_view written);
  // Its two parts, each on its own.
  std::string LineOf(std::string_view written);
  std::string CleanedOf(std::string_view written);
  // Sets the link's text and rel from its anchor's, decoded as hrefs are.
  void AddText(TListedLink& link, const TWrittenAnchor& anchor);

 private:
  std::string LineOfDecoded(std::string_view href);

  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

// The four comment lines that open the block of one page.
std::array<std::string, 4> BlockHeader(const std::string& pageAddress, const std::string& base);

// The line written for one link, and what the filter looks at: the href as
// its author wrote it, character references decoded (tabs and line breaks,
// which browsers drop, left out).
// With anchor text asked for, the text shown for the anchor and its rel
// (references decoded); empty otherwise.
struct TListedLink {
  std::string Cleaned;
  std::string Line;
  std::string Text;
  std::string Rel;
};

}  // namespace movrek
