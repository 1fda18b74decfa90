#include "engine/link_resolver.h"

#include <utility>

#include "net/base/uri_resolve.h"

namespace movrek {

namespace {

// Interim: RFC 3986 resolution until the browser's URL parser is in place.
std::string Prepared(std::string_view href) {
  while (!href.empty() && static_cast<unsigned char>(href.front()) <= 0x20) {
    href.remove_prefix(1);
  }
  while (!href.empty() && static_cast<unsigned char>(href.back()) <= 0x20) {
    href.remove_suffix(1);
  }
  std::string out;
  for (const char c : href) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || c == '\n' || c == '\r') {
      continue;
    }
    if (byte <= 0x20 || byte >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`') {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

TLinkResolver::TLinkResolver(std::string_view base, TQueryEncoder encoder)
    : base_(Prepared(base)), encoder_(std::move(encoder)) {}

bool TLinkResolver::Valid() const {
  const std::size_t colon = base_.find(':');
  return HasUriScheme(base_) && base_.compare(colon, 3, "://") == 0;
}

bool TLinkResolver::Resolve(std::string_view href, std::string& out) const {
  std::string encoded(href);
  const std::size_t hash = encoded.find('#');
  const std::size_t query = encoded.find('?');
  if (encoder_ && query < hash) {
    const std::size_t end = hash == std::string::npos ? encoded.size() : hash;
    std::string bytes;
    encoder_(std::string_view(encoded).substr(query + 1, end - query - 1), bytes);
    encoded.replace(query + 1, end - query - 1, bytes);
  }
  const std::string prepared = Prepared(encoded);
  if (HasUriScheme(prepared)) {
    out = prepared;
    return true;
  }
  if (!Valid()) {
    return false;
  }
  out = ResolveReference(base_, prepared);
  return true;
}

}  // namespace movrek
