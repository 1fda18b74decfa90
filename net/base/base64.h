// Base64 encoding (RFC 4648 alphabet, "=" padding, no line breaks).
#pragma once

#include <string>

namespace movrek {

std::string ToBase64(const std::string& value);

}  // namespace movrek
