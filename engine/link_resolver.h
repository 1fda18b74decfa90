// The addresses a browser opens for the links of one page.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace movrek {

// Writes a query (UTF-8) in the page's encoding.
using TQueryEncoder = std::function<void(std::string_view utf8, std::string& bytesOut)>;

class TLinkResolver {
 public:
  // base: the document's base address; encoder: empty for a UTF-8 page.
  TLinkResolver(std::string_view base, TQueryEncoder encoder);

  // Whether the base is an address links can be resolved against.
  [[nodiscard]] bool Valid() const;
  // The address the href (decoded, UTF-8) leads to, serialised; false when
  // it is none (out is then unspecified).
  bool Resolve(std::string_view href, std::string& out) const;

 private:
  std::string base_;
  TQueryEncoder encoder_;
};

}  // namespace movrek
