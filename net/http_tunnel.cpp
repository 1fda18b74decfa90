// The HTTP CONNECT tunnel (RFC 9110 section 9.3.6): the proxy opens a raw
// byte stream to the target, over which TLS and HTTP then run unchanged.
#include "net/base64.h"
#include "net/ip_text.h"
#include "net/socket_errors.h"
#include "net/tcp_block_socket.h"

namespace movrek {

namespace {

// "HTTP/1.x NNN" is 12 characters: anything shorter carries no status code.
constexpr std::size_t kMinStatusLineLength = 12;
// Position of the first digit of the status code in the status line.
constexpr std::size_t kStatusClassIndex = 9;

}  // namespace

void TTCPBlockSocket::TunnelConnect(const std::string& host, const std::string& port) {
  // The request needs the number: a proxy cannot be relied on to know
  // service names.
  const std::string portText = std::to_string(PortNumberOf(port));
  TBlockSocket::ConnectTo(HTTPTunnelIP, HTTPTunnelPort);
  if (LastErrorCode != 0) return;

  TunnelEstablished = false;
  // RFC 9110 section 9.3.6 takes the authority form, which brackets IPv6
  // literals (RFC 3986 section 3.2.2).
  const std::string target = IsIPv6Text(host) ? "[" + host + "]" : host;

  SendText("CONNECT " + target + ":" + portText + " HTTP/1.0\r\n");
  if (LastErrorCode == 0 && !HTTPTunnelUser.empty()) {
    SendText("Proxy-Authorization: Basic " + ToBase64(HTTPTunnelUser + ":" + HTTPTunnelPass) +
             "\r\n");
  }
  if (LastErrorCode == 0) SendText("\r\n");

  // The reply head runs up to the empty line; reading exactly that far leaves
  // whatever the target sends first in ReadAhead for the tunnel's user.
  while (LastErrorCode == 0) {
    const std::string line = ReceiveUntil(HTTPTunnelTimeout, "\n");
    if (LastErrorCode != 0) {
      // A head cut short opens nothing, whatever its status line said.
      TunnelEstablished = false;
      break;
    }
    if (line.size() >= kMinStatusLineLength && line.compare(0, 5, "HTTP/") == 0) {
      // Any 2xx opens the tunnel (RFC 9110 section 9.3.6).
      TunnelEstablished = line[kStatusClassIndex] == '2';
    }
    if (line.empty() || line == "\r") break;
  }
  if (LastErrorCode == 0 && !TunnelEstablished) LastErrorCode = WSASYSNOTREADY;

  TunnelRemoteIP = target;
  TunnelRemotePort = portText;
  RaiseIfFailed();
}

}  // namespace movrek
