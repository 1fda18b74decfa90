// Cookies in their simplest form: each Set-Cookie line of an answer sets or
// replaces one name=value pair (names compare in ASCII case only), an empty
// value drops it, attributes are ignored, and every pair goes with each
// request.
#include <algorithm>
#include <utility>

#include "net/base/text_util.h"
#include "net/http/http_transaction.h"
#include "text/ascii_text.h"

namespace movrek {

std::string THttpTransaction::CookieText() const {
  std::string cookies;
  for (const std::string& entry : Cookies) {
    if (!cookies.empty()) {
      cookies += "; ";
    }
    cookies += entry;
  }
  return cookies;
}

void THttpTransaction::CaptureCookies() {
  for (const std::string& line : Headers) {
    if (!StartsWith(AsciiLower(line), "set-cookie:")) {
      continue;
    }
    const std::string pair(TrimControls(TextBefore(TextAfter(line, ":"), ";")));
    const std::string name(TrimControls(TextBefore(pair, "=")));
    const std::string value(TrimControls(TextAfter(pair, "=")));
    const std::string lower_name = AsciiLower(name);
    const auto same_name = [&lower_name](const std::string& entry) {
      return AsciiLower(TextBefore(entry, "=")) == lower_name;
    };
    const auto found = std::find_if(Cookies.begin(), Cookies.end(), same_name);
    if (value.empty()) {
      if (found != Cookies.end()) {
        Cookies.erase(found);
      }
      continue;
    }
    std::string entry = name;
    entry += '=';
    entry += value;
    if (found != Cookies.end()) {
      *found = std::move(entry);
    } else {
      Cookies.push_back(std::move(entry));
    }
  }
}

}  // namespace movrek
