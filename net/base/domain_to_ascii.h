// International host names to their ASCII form through libidn2, the one
// place of the network stack that calls it.
#pragma once

#include <string>
#include <string_view>

namespace movrek {

// The ASCII form (A-labels) of a UTF-8 host name by UTS #46 non-transitional
// processing, as browsers convert names: letter case and width mapped,
// ignored characters dropped, "ß" kept, and, as browsers leave out the
// hyphen and STD3 rules, "-" anywhere and other ASCII symbols allowed. False
// when the name has no such form (bad Punycode, characters IDNA2008
// disallows: libidn2 also refuses the symbols and emoji UTS #46 takes). The
// result may be empty when every character was dropped.
bool DomainToAscii(std::string_view utf8, std::string& ascii);

}  // namespace movrek
