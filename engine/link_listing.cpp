#include "engine/link_listing.h"

#include <algorithm>
#include <vector>

#include "html/html_scanner.h"
#include "net/uri_resolve.h"

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

// The href of every anchor tag, in document order.
std::vector<std::string> CollectHrefs(const std::string& document_file) {
  THTMLObject document;
  document.LoadFromFile(document_file);
  document.TagFilter.assign(1, 'A');  // not = "A": GCC 12 warns falsely (-Wrestrict)
  std::vector<std::string> hrefs;
  // A page without any element has no links; First would fail on it.
  if (document.Elements.Count() == 0) {
    return hrefs;
  }
  // First hands back the first element without looking at the filter, and
  // Next starts after it: an anchor that opens the page is taken here.
  if (auto* first = dynamic_cast<TTagObject*>(document.First());
      first != nullptr && first->IsTag(document.TagFilter)) {
    hrefs.push_back(first->AttributeValue("href", ""));
  }
  std::string href;
  while (document.NextAttributeValue("href", "", &href)) {
    hrefs.push_back(std::move(href));
  }
  return hrefs;
}

}  // namespace

TListedLink FormLink(const std::string& href, const std::string& base) {
  TListedLink link;
  link.Cleaned.reserve(href.size());
  std::copy_if(href.begin(), href.end(), std::back_inserter(link.Cleaned),
               [](char c) { return c != '\'' && c != '"'; });
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

void ListLinks(TWindowOperations& window, const std::string& document_file, const std::string& base,
               const std::string& page_address) {
  const std::vector<std::string> hrefs = CollectHrefs(document_file);
  window.AppendResultLine("#===========#");
  window.AppendResultLine("# Links From: " + page_address);
  window.AppendResultLine("# Baseurl: " + base);
  window.AppendResultLine("#===========#");
  for (const auto& href : hrefs) {
    const TListedLink link = FormLink(href, base);
    if (PassesFilter(window.ReadFilterSettings(), link.Cleaned)) {
      window.AppendResultLine(link.Line);
    }
  }
}

}  // namespace movrek
