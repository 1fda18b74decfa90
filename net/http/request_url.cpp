#include "net/http/request_url.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "net/base/domain_to_ascii.h"
#include "net/base/ip_text.h"
#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Characters that end or split an authority, or that no resolver takes: a
// host holding one would be read differently by another parser.
bool IsForbiddenHostChar(char c) {
  const auto code = static_cast<unsigned char>(c);
  return IsBlankOrControl(c) || code == 127 ||
         std::string_view("@/\\?#[]%").find(c) != std::string::npos;
}

}  // namespace

bool HostNameToAscii(const std::string& host, std::string& ascii) {
  if (IsAscii(host)) {
    ascii = host;
    return true;
  }
  return DomainToAscii(host, ascii);
}

int SplitRequestUrl(const std::string& url, TRequestUrl& parts) {
  std::string host;
  parts.Target = SplitUrlAsWritten(url, parts.Protocol, parts.User, parts.Password, host,
                                   parts.Port, parts.Path, parts.Parameters);
  parts.User = PercentDecode(parts.User);
  parts.Password = PercentDecode(parts.Password);
  if (host.empty()) {
    return WSAHOST_NOT_FOUND;
  }
  if (host.find(':') != std::string::npos) {
    // Only a bracketed IPv6 address leaves a colon in the host.
    if (!IsIPv6Text(host)) {
      return WSAHOST_NOT_FOUND;
    }
  } else if (std::any_of(host.begin(), host.end(), IsForbiddenHostChar) ||
             !HostNameToAscii(host, host) || host.empty() ||
             std::any_of(host.begin(), host.end(), IsForbiddenHostChar)) {
    // The ASCII form is checked again: a name of characters that the mapping
    // drops (U+034F and the like) converts to no name at all.
    return WSAHOST_NOT_FOUND;
  }
  parts.Host = host;
  if (!IsPortText(parts.Port)) {
    return WSAEINVAL;
  }
  // The target goes into the request line, which ends at the first line
  // break (RFC 9112 section 3): one inside would start a header line of its
  // own.
  if (parts.Target.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    return WSAEINVAL;
  }
  return 0;
}

}  // namespace movrek
