#include "fuzz/net/web_url_check.h"

#include <cstdlib>
#include <optional>
#include <string_view>

#include "net/base/web_url.h"

namespace movrek::fuzz {

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return false;
    }
  }
  return true;
}

void RequireParts(const TWebUrl& url) {
  const std::size_t size = url.Href.size();
  Require(url.SchemeEnd < size && url.Href[url.SchemeEnd] == ':');
  Require(url.HostStart <= url.HostEnd && url.HostEnd <= url.AuthorityEnd &&
          url.AuthorityEnd <= url.PathStart && url.PathStart <= size);
  Require(url.QueryStart == TWebUrl::kNone ||
          (url.QueryStart >= url.PathStart && url.Href[url.QueryStart] == '?'));
  Require(url.FragmentStart == TWebUrl::kNone || url.Href[url.FragmentStart] == '#');
}

// A parsed URL is ASCII, its parts lie inside its href in order, and it
// reads back as itself.
void RequireSerialised(const TWebUrl& url) {
  Require(IsAscii(url.Href));
  RequireParts(url);
  const std::optional<TWebUrl> again = ParseWebUrl(url.Href);
  Require(again.has_value());
  Require(again->Href == url.Href);
}

void CheckAgainstBase(std::string_view href, const std::optional<TWebUrl>& alone,
                      const TWebUrl& base) {
  const std::optional<TWebUrl> resolved = ParseWebUrl(href, &base);
  if (resolved) {
    RequireSerialised(*resolved);
    // A URL's href is absolute: against the same base it stays itself.
    const std::optional<TWebUrl> again = ParseWebUrl(resolved->Href, &base);
    Require(again.has_value() && again->Href == resolved->Href);
  }
  // An absolute http URL takes nothing from the base.
  if (alone && href.starts_with("http://")) {
    Require(resolved.has_value() && resolved->Href == alone->Href);
  }
}

}  // namespace

void CheckWebUrl(const std::uint8_t* data, std::size_t size) {
  // Bases of each kind, for an href without one of its own.
  static const std::optional<TWebUrl> kBases[] = {
      ParseWebUrl("http://user:pw@h.example:8080/a/b/c?q#f"),
      ParseWebUrl("file:///C:/dir/file.txt"),
      ParseWebUrl("foo://host/a//b"),
      ParseWebUrl("web+x:/.//p/q"),
  };
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = bytes.find('\n');
  const std::string_view href = split == std::string_view::npos ? bytes : bytes.substr(split + 1);
  const std::optional<TWebUrl> alone = ParseWebUrl(href);
  if (alone) {
    RequireSerialised(*alone);
  }
  if (split == std::string_view::npos) {
    for (const std::optional<TWebUrl>& base : kBases) {
      Require(base.has_value());
      CheckAgainstBase(href, alone, *base);
    }
    return;
  }
  const std::optional<TWebUrl> base = ParseWebUrl(bytes.substr(0, split));
  if (base) {
    RequireSerialised(*base);
    CheckAgainstBase(href, alone, *base);
  }
}

}  // namespace movrek::fuzz
