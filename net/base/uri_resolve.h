#pragma once

#include <string>
#include <string_view>

namespace movrek {

// True when the text starts with a URI scheme and its colon (RFC 3986
// section 3.1): a letter, then letters, digits, "+", "-" or ".", then ":".
bool HasUriScheme(std::string_view text);

// The target of a reference resolved against an absolute base address by the
// strict algorithm of RFC 3986 section 5.2: a reference with a scheme stands
// for itself (dot segments removed), "//host/x" keeps the base scheme, "/x"
// the base authority, "?q", "#f" and "" the base path; dot segments are
// removed (section 5.2.4). The base's fragment is never carried over.
std::string ResolveReference(std::string_view base, std::string_view reference);

// Section 5.2.4: "." and ".." segments of a path removed.
std::string RemoveDotSegments(std::string_view path);

}  // namespace movrek
