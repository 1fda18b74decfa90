// The host of a URL as the WHATWG URL Standard reads and writes it: a domain
// in its lower-case ASCII form, an IPv4 address in any of the number forms
// browsers accept, a bracketed IPv6 address, or, for other schemes, an
// opaque host kept as written.
#pragma once

#include <string>
#include <string_view>

namespace movrek {

// Appends the serialised host for the host text of a URL (percent-escapes
// and brackets as written). `special` tells an http(s), ws(s), ftp or file
// URL from the others, whose host stays opaque. False, with `out` in an
// unspecified state past its former end, when the text is no host.
bool AppendWebUrlHost(std::string_view text, bool special, std::string& out);

}  // namespace movrek
