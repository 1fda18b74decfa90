// Pure tests and conversions of IPv4 and IPv6 address texts. No state, no
// platform calls, no failures: tests answer false, conversions give zeros.
#pragma once

#include <array>
#include <string>

namespace movrek {

using TIPv6Bytes = std::array<unsigned char, 16>;

// Non-empty, decimal digits only, value at most 255 (leading zeros allowed).
bool IsByteText(const std::string& value);
// A port as an address writes it: one to five decimal digits (leading zeros
// allowed) worth 1 to 65535.
bool IsPortText(const std::string& value);
// Four byte texts separated by "."; blanks around the parts are ignored.
bool IsIPv4Text(const std::string& value);
// Colon-separated hexadecimal groups (at most 8, at most one "::"), with an
// optional hexadecimal zone after "%" on the last group.
bool IsIPv6Text(const std::string& value);

// Always 4 characters: the address in network byte order, a non-numeric part
// counting as 0 and each part cut to its low 8 bits.
std::string IPv4ToBytes(const std::string& value);
// 16 bytes in network order; all zero when the text is rejected.
TIPv6Bytes TextToIPv6(const std::string& value);
// Lower-case text with the longest (first of equal) run of zero groups
// compressed to "::"; all zeros give "::0".
std::string IPv6ToText(const TIPv6Bytes& bytes);

}  // namespace movrek
