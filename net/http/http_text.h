// The shared text helpers under the names the HTTP transaction and the
// CONNECT tunnel call them by; field values are kept as std::string there.
#pragma once

#include <string>

#include "html/ascii_text.h"

namespace movrek::http_text {

using movrek::AsciiLower;
using movrek::AsciiUpper;
using movrek::StartsWith;

inline std::string TrimControls(const std::string& text) {
  return std::string(movrek::TrimControls(text));
}

}  // namespace movrek::http_text
