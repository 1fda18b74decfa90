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

// A parsed URL is ASCII and reads back as itself.
void RequireSerialised(const TWebUrl& url) {
  Require(IsAscii(url.Href));
  const std::optional<TWebUrl> again = ParseWebUrl(url.Href);
  Require(again.has_value());
  Require(again->Href == url.Href);
}

}  // namespace

void CheckWebUrl(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::size_t split = bytes.find('\n');
  const std::string_view href = split == std::string_view::npos ? bytes : bytes.substr(split + 1);
  std::optional<TWebUrl> base;
  if (split != std::string_view::npos) {
    base = ParseWebUrl(bytes.substr(0, split));
    if (base) {
      RequireSerialised(*base);
    }
  }
  const std::optional<TWebUrl> alone = ParseWebUrl(href);
  if (alone) {
    RequireSerialised(*alone);
  }
  if (!base) {
    return;
  }
  const std::optional<TWebUrl> resolved = ParseWebUrl(href, &*base);
  if (resolved) {
    RequireSerialised(*resolved);
  }
  // An absolute http URL takes nothing from the base.
  if (alone && href.starts_with("http://")) {
    Require(resolved.has_value() && resolved->Href == alone->Href);
  }
}

}  // namespace movrek::fuzz
