#include "fuzz/net/url_host_check.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "engine/pipeline/process_url.h"
#include "net/http/request_url.h"

namespace movrek::fuzz {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Host and port of an absolute http or https address, read the plain
// RFC 3986 way, independently of the client's own splitting.
struct TNamedPeer {
  std::string host;
  std::string port;
};

TNamedPeer NamedPeer(const std::string& address) {
  const std::size_t scheme_end = address.find("://");
  const std::string rest = address.substr(scheme_end + 3);
  const std::string authority = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t at = authority.rfind('@');
  const std::string host_port = at == std::string::npos ? authority : authority.substr(at + 1);
  TNamedPeer peer;
  peer.port = Lower(address.substr(0, scheme_end)) == "https" ? "443" : "80";
  std::size_t port_from = std::string::npos;
  if (!host_port.empty() && host_port[0] == '[') {
    const std::size_t close = host_port.find(']');
    peer.host = host_port.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    if (close != std::string::npos && close + 1 < host_port.size() && host_port[close + 1] == ':') {
      port_from = close + 2;
    }
  } else {
    const std::size_t colon = host_port.find(':');
    peer.host = host_port.substr(0, colon);
    if (colon != std::string::npos) port_from = colon + 1;
  }
  if (port_from != std::string::npos) peer.port = host_port.substr(port_from);
  return peer;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void CheckUrlLine(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string address = NormaliseAddress(line);
  const std::string lower = Lower(address);
  Check(lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0);

  TRequestUrl parts;
  if (SplitRequestUrl(address, parts) != 0) return;
  const TNamedPeer named = NamedPeer(address);
  Check(!named.host.empty());
  Check(parts.Port == named.port);
  const long port = std::strtol(parts.Port.c_str(), nullptr, 10);
  Check(port >= 1 && port <= 65535);
  // An international name goes out in its ASCII form, which must itself be
  // a plain host name.
  Check(IsAscii(parts.Host));
  if (IsAscii(named.host)) {
    Check(parts.Host == named.host);
  } else {
    Check(!parts.Host.empty() && parts.Host.find_first_of("@/\\?#:[] ") == std::string::npos);
  }
  Check(parts.Target.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
}

}  // namespace movrek::fuzz
