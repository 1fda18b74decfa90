// Hrefs from untrusted pages: no input may crash, the parts of a parsed URL
// lie inside its href in order, and the href a parse gives reads back as
// itself (browsers rely on the serialisation reparsing to the same URL).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "net/base/web_url.h"

namespace {

void CheckParts(const movrek::TWebUrl& url) {
  const std::size_t size = url.Href.size();
  const bool ordered =
      url.SchemeEnd < size && url.Href[url.SchemeEnd] == ':' && url.HostStart <= url.HostEnd &&
      url.HostEnd <= url.AuthorityEnd && url.AuthorityEnd <= url.PathStart &&
      url.PathStart <= size &&
      (url.QueryStart == movrek::TWebUrl::kNone ||
       (url.QueryStart >= url.PathStart && url.Href[url.QueryStart] == '?')) &&
      (url.FragmentStart == movrek::TWebUrl::kNone || url.Href[url.FragmentStart] == '#');
  if (!ordered) std::abort();
}

void CheckReadsBack(const movrek::TWebUrl& url) {
  CheckParts(url);
  const std::optional<movrek::TWebUrl> again = movrek::ParseWebUrl(url.Href);
  if (!again || again->Href != url.Href) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::optional<movrek::TWebUrl> kBases[] = {
      movrek::ParseWebUrl("http://user:pw@h.example:8080/a/b/c?q#f"),
      movrek::ParseWebUrl("file:///C:/dir/file.txt"),
      movrek::ParseWebUrl("foo://host/a//b"),
      movrek::ParseWebUrl("web+x:/.//p/q"),
  };
  const std::string_view href(reinterpret_cast<const char*>(data), size);
  movrek::TWebUrl url;
  if (movrek::ParseWebUrl(href, nullptr, nullptr, url)) CheckReadsBack(url);
  for (const std::optional<movrek::TWebUrl>& base : kBases) {
    if (!base) std::abort();
    if (movrek::ParseWebUrl(href, &*base, nullptr, url)) CheckReadsBack(url);
  }
  return 0;
}
