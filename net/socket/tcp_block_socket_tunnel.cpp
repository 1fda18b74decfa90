// The HTTP CONNECT tunnel (RFC 9110 section 9.3.6): the proxy opens a raw
// byte stream to the target, over which TLS and HTTP then run unchanged.
#include <cstdint>

#include "net/base/base64.h"
#include "net/base/ip_text.h"
#include "net/base/winsock_errors.h"
#include "net/socket/line_limit_guard.h"
#include "net/socket/socket_limits.h"
#include "net/socket/tcp_block_socket.h"

namespace movrek {

void TTCPBlockSocket::TunnelConnect(const std::string& host, const std::string& port) {
  // The request needs the number: a proxy cannot be relied on to know
  // service names.
  const std::string portText = std::to_string(PortNumberOf(port));
  TBlockSocket::ConnectTo(HTTPTunnelIP, HTTPTunnelPort);
  if (LastErrorCode != 0) {
    return;
  }

  TunnelEstablished = false;
  // RFC 9110 section 9.3.6 takes the authority form, which brackets IPv6
  // literals (RFC 3986 section 3.2.2).
  const std::string target = IsIPv6Text(host) ? "[" + host + "]" : host;

  SendText("CONNECT " + target + ":" + portText + " HTTP/1.0\r\n");
  if (LastErrorCode == 0 && !HTTPTunnelUser.empty()) {
    SendText("Proxy-Authorization: Basic " + ToBase64(HTTPTunnelUser + ":" + HTTPTunnelPass) +
             "\r\n");
  }
  if (LastErrorCode == 0) {
    SendText("\r\n");
  }

  // The reply head runs up to the empty line; reading exactly that far leaves
  // whatever the target sends first in ReadAhead for the tunnel's user. A
  // line or head beyond the bounds fails like any line over the socket's
  // limit, with 10055.
  const TLineLimitGuard lineLimit(*this, kMaxTunnelLineBytes);
  std::int64_t headLength = 0;
  while (LastErrorCode == 0) {
    const std::string line = ReceiveUntil(HTTPTunnelTimeout, "\n");
    headLength += static_cast<std::int64_t>(line.size()) + 1;
    if (LastErrorCode == 0 && headLength > kMaxTunnelHeadBytes) {
      LastErrorCode = WSAENOBUFS;
    }
    if (LastErrorCode != 0) {
      // A head cut short opens nothing, whatever its status line said.
      TunnelEstablished = false;
      break;
    }
    if (line.size() >= kMinStatusLineBytes && line.compare(0, 5, "HTTP/") == 0) {
      // Any 2xx opens the tunnel (RFC 9110 section 9.3.6).
      TunnelEstablished = line[kStatusClassIndex] == '2';
    }
    if (line.empty() || line == "\r") {
      break;
    }
  }
  if (LastErrorCode == 0 && !TunnelEstablished) {
    LastErrorCode = WSASYSNOTREADY;
  }

  TunnelRemoteIP = target;
  TunnelRemotePort = portText;
  RaiseIfFailed();
}

}  // namespace movrek
