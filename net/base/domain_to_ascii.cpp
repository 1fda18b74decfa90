#include "net/base/domain_to_ascii.h"

#include <idn2.h>

#include <memory>

namespace movrek {

bool DomainToAscii(std::string_view utf8, std::string& ascii) {
  if (utf8.find('\0') != std::string_view::npos) {
    return false;
  }
  const std::string text(utf8);
  char* converted = nullptr;
  const int code =
      idn2_to_ascii_8z(text.c_str(), &converted, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  const std::unique_ptr<char, decltype(&idn2_free)> owned(converted, &idn2_free);
  if (code != IDN2_OK || converted == nullptr) {
    return false;
  }
  ascii = converted;
  return true;
}

}  // namespace movrek
