#include "engine/link_listing.h"

#include <algorithm>
#include <utility>

#include "html/document_text.h"
#include "html/html_document.h"
#include "net/base/uri_resolve.h"

namespace movrek {

namespace {

// A scheme followed by "://": an address relative references can be
// resolved against. A declared base such as "abc/" is not one.
bool IsAbsoluteAddress(const std::string& base) {
  if (!HasUriScheme(base)) {
    return false;
  }
  const std::size_t colon = base.find(':');
  return base.compare(colon, 3, "://") == 0;
}

}  // namespace

TListedLink FormLink(const std::string& href, const std::string& base) {
  TListedLink link;
  link.Cleaned.reserve(href.size());
  // Browsers drop every tab, CR and LF of an address before they parse it
  // (WHATWG URL standard); that also keeps a page from writing lines of its
  // own, such as a forged block header, into the result list.
  std::copy_if(href.begin(), href.end(), std::back_inserter(link.Cleaned),
               [](char c) { return c != '\'' && c != '"' && c != '\t' && c != '\r' && c != '\n'; });
  if (HasUriScheme(link.Cleaned)) {
    link.Line = link.Cleaned;
  } else if (IsAbsoluteAddress(base)) {
    link.Line = ResolveReference(base, link.Cleaned);
  } else {
    link.Line = base + link.Cleaned;
  }
  return link;
}

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
               const std::string& pageAddress) {
  ListLinks(sink, TDocumentText::FromFile(documentFile), base, pageAddress);
}

void ListLinks(TListingSink& sink, TDocumentText text, const std::string& base,
               const std::string& pageAddress) {
  THTMLObject document;
  document.LoadFromDocumentText(std::move(text));
  document.TagFilter.assign(1, 'A');  // not = "A": GCC 12 warns falsely (-Wrestrict)

  sink.BeginBlock(pageAddress, base);

  // The links go out as they are found: a page of millions of anchors needs
  // no list of them all.
  const auto list = [&sink, &base](const std::string& href) {
    sink.AppendLink(FormLink(href, base));
  };
  // A page without any element has no links (First would fail on it).
  if (document.Elements.Count() == 0) {
    return;
  }
  // Where First leaves the iteration. First hands back the first element
  // whatever it is and Next starts after it, so an anchor that opens the page
  // is taken here; neither builds an element object, which for one tag of a
  // million attributes would cost many times the page.
  document.CurrentIndex = 0;
  if (document.Elements.FindTag(0, document.TagFilter) == 0) {
    list(document.Elements.AttributeValueAt(0, "href", ""));
  }
  std::string href;
  while (document.NextAttributeValue("href", "", &href)) {
    list(href);
  }
}

}  // namespace movrek
