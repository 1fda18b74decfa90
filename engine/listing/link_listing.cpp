#include "engine/listing/link_listing.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "html/character_references.h"
#include "html/html_document.h"
#include "html/page_text.h"
#include "html/tag_attribute.h"
#include "net/base/web_url.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// Whether a value needs more than copying: a reference to decode, a byte of
// the page's encoding to decode or a NUL.
bool NeedsDecoding(std::string_view value) {
  for (const char c : value) {
    if (c == '&' || c == '\0' || static_cast<unsigned char>(c) >= 0x80) {
      return true;
    }
  }
  return false;
}

// An attribute value as the page's author meant it: UTF-8, references decoded.
class TValueDecoder {
 public:
  TValueDecoder(TTextEncoding& encoding, bool textIsUtf8)
      : encoding_(encoding), text_is_utf8_(textIsUtf8) {}

  // A view of the decoded value, valid until the next call.
  std::string_view Decode(std::string_view written) {
    if (!NeedsDecoding(written)) {
      return written;
    }
    characters_.clear();
    if (text_is_utf8_) {
      AppendValidUtf8(written, characters_);
    } else {
      encoding_.AppendDecoded(written, characters_);
    }
    decoded_.clear();
    AppendAttributeDecoded(characters_, decoded_);
    return decoded_;
  }

 private:
  TTextEncoding& encoding_;
  bool text_is_utf8_;
  std::string characters_;
  std::string decoded_;
};

// The line for an href no address can be made of: the text as written, kept
// on one line of ASCII (what URL parsing would trim or drop left out, other
// controls and non-ASCII bytes percent-encoded).
std::string UnresolvedLine(std::string_view href) {
  while (!href.empty() && static_cast<unsigned char>(href.front()) <= 0x20) {
    href.remove_prefix(1);
  }
  while (!href.empty() && static_cast<unsigned char>(href.back()) <= 0x20) {
    href.remove_suffix(1);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line;
  for (const char c : href) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      continue;
    }
    if (byte < 0x20 || byte >= 0x7F) {
      line += '%';
      line += kHex[byte >> 4];
      line += kHex[byte & 15];
    } else {
      line += c;
    }
  }
  return line;
}

std::string WithoutTabsAndLineBreaks(std::string_view text) {
  if (std::none_of(text.begin(), text.end(),
                   [](char c) { return c == '\t' || c == '\n' || c == '\r'; })) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\t' && c != '\n' && c != '\r') {
      out += c;
    }
  }
  return out;
}

// Whether a tag the search found named "A" or "BASE" is the anchor: the two
// names differ in their first letter, which no control character precedes
// in a tag of either name.
bool IsAnchor(std::string_view tagText) {
  std::size_t at = !tagText.empty() && tagText.front() == '<' ? 1 : 0;
  while (at < tagText.size() && IsBlankOrControl(tagText[at])) {
    ++at;
  }
  return at < tagText.size() && AsciiUpperChar(tagText[at]) == 'A';
}

// The anchors of the page, and its base address as browsers take it: the
// first <base> with an href, resolved against the page's address; else the
// page's address. A base further down the page counts for the anchors above
// it, so both are found in one pass before any link is listed.
struct TAnchors {
  std::vector<std::string_view> Hrefs;  // as written, in the document text
  std::optional<TWebUrl> Base;          // none when the page's address is no URL
};

TAnchors FindAnchors(const TObjectsList& elements, TValueDecoder& decoder,
                     const std::string& finalAddress, const TQueryEncoder* encoder) {
  TAnchors anchors;
  anchors.Base = ParseWebUrl(finalAddress);
  bool base_found = false;
  for (int i = elements.FindTagAmong(0, {"A", "BASE"}); i >= 0;
       i = elements.FindTagAmong(i + 1LL, {"A", "BASE"})) {
    const std::string_view text = elements.TagTextAt(i);
    std::string_view written;
    // An anchor without href is no link. Its href is taken now, while its
    // tag is fresh in the cache: a page of a hundred megabytes is not.
    if (IsAnchor(text)) {
      if (FindTagAttribute(text, "href", &written)) {
        anchors.Hrefs.push_back(written);
      }
      continue;
    }
    if (base_found || !FindTagAttribute(text, "href", &written)) {
      continue;
    }
    base_found = true;
    TWebUrl declared;
    // A data: or javascript: base would let a page's links run code.
    if (ParseWebUrl(decoder.Decode(written), anchors.Base ? &*anchors.Base : nullptr, encoder,
                    declared) &&
        declared.Scheme() != "data" && declared.Scheme() != "javascript") {
      anchors.Base = std::move(declared);
    }
  }
  return anchors;
}

}  // namespace

bool PassesFilter(const TFilterSettings& filter, const std::string& cleaned) {
  if (!filter.Enabled) {
    return true;
  }
  // The empty keyword never occurs.
  const bool occurs = !filter.Keyword.empty() && cleaned.find(filter.Keyword) != std::string::npos;
  return filter.Mode == 0 ? occurs : !occurs;
}

std::array<std::string, 4> BlockHeader(const std::string& pageAddress, const std::string& base) {
  return {"#===========#", "# Links From: " + pageAddress, "# Baseurl: " + base, "#===========#"};
}

void TListingSink::BeginBlock(const std::string& pageAddress, const std::string& base) {
  for (const std::string& line : BlockHeader(pageAddress, base)) {
    AppendResultLine(line);
  }
}

void TListingSink::AppendLink(TListedLink link) {
  if (PassesFilter(ReadFilterSettings(), link.Cleaned)) {
    AppendResultLine(std::move(link.Line));
  }
}

void ListLinks(TListingSink& sink, const std::string& documentFile, const std::string& base,
               const std::string& pageAddress, const TPageSource& source) {
  ListLinks(sink, ReadPageText(documentFile, source.ContentType), base, pageAddress,
            source.FinalAddress);
}

void ListLinks(TListingSink& sink, TPageText page, const std::string& base,
               const std::string& pageAddress, const std::string& finalAddress) {
  TTextEncoding encoding = std::move(page.Encoding);
  TValueDecoder decoder(encoding, page.TextIsUtf8);
  TQueryEncoder encoder;
  if (!encoding.QueryIsUtf8()) {
    encoder = [&encoding](std::string_view utf8, std::string& bytesOut) {
      encoding.AppendEncoded(utf8, bytesOut);
    };
  }
  const TQueryEncoder* const query_encoder = encoder ? &encoder : nullptr;
  THTMLObject document;
  document.LoadFromDocumentText(std::move(page.Text));
  const TObjectsList& elements = document.Elements;

  sink.BeginBlock(pageAddress, base);
  const TAnchors anchors = FindAnchors(elements, decoder, finalAddress, query_encoder);
  const TWebUrl* const document_base = anchors.Base ? &*anchors.Base : nullptr;
  TWebUrl url;
  for (const std::string_view written : anchors.Hrefs) {
    const std::string_view href = decoder.Decode(written);
    TListedLink link;
    link.Cleaned = WithoutTabsAndLineBreaks(href);
    link.Line =
        ParseWebUrl(href, document_base, query_encoder, url) ? url.Href : UnresolvedLine(href);
    sink.AppendLink(std::move(link));
  }
}

}  // namespace movrek
