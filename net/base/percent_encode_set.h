// The percent-encode sets of the WHATWG URL Standard. Each component of a
// URL escapes its own set of bytes, and browsers escape exactly these, so a
// listed link is byte for byte what a browser would request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace movrek {

// Each set holds every byte below 0x20 and above 0x7E; the sets nest as the
// standard lists them: C0 control < fragment; C0 control < query <
// special-query; query < path < userinfo < component.
enum class TEncodeSet : std::uint8_t {
  C0Control = 1,
  Fragment = 2,
  Query = 4,
  SpecialQuery = 8,
  Path = 16,
  Userinfo = 32,
  Component = 64,
};

bool InEncodeSet(unsigned char byte, TEncodeSet set);

// "%" and two upper-case hex digits.
void AppendPercentByte(unsigned char byte, std::string& out);

// The bytes (UTF-8 text, or a query already in the document's encoding)
// with every byte of the set escaped.
void AppendPercentEncoded(std::string_view bytes, TEncodeSet set, std::string& out);

}  // namespace movrek
