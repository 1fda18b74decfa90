// Where a request goes: the parts of its URL, checked so that a request only
// ever reaches the host and port its URL names.
#pragma once

#include <string>

namespace movrek {

struct TRequestUrl {
  std::string Protocol;
  std::string User;      // percent-decoded
  std::string Password;  // percent-decoded
  std::string Host;      // ASCII form; an IPv6 address without brackets
  std::string Port;
  std::string Path;
  std::string Parameters;
  std::string Target;  // the request target: path and query as written
};

// Splits the URL as SplitUrl does, then checks what decides the peer: the
// host must be named, hold no blank, control or delimiter character, and an
// international name must have an ASCII form (Host then holds it); the port
// must be a decimal number from 1 to 65535; the target must hold no CR, LF
// or NUL. Answers 0, or the socket error number the request fails with.
int SplitRequestUrl(const std::string& url, TRequestUrl& parts);

// The ASCII form (RFC 5891 A-labels) of a host name written in UTF-8; an
// ASCII name is returned as it stands. False when the name has none.
bool HostNameToAscii(const std::string& host, std::string& ascii);

}  // namespace movrek
