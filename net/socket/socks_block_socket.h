// The SOCKS client state and exchange (RFC 1928 and RFC 1929 for SOCKS5, the
// SOCKS4 and 4a protocol notes for version 4) on top of the blocking socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/socket/block_socket.h"
#include "net/socket/socket_limits.h"

namespace movrek {

class TSocksBlockSocket : public TBlockSocket {
 public:
  TSocksBlockSocket() = default;

  // SOCKS commands.
  static constexpr std::uint8_t kSocksConnect = 1;
  static constexpr std::uint8_t kSocksBind = 2;
  // A length byte frames names (RFC 1928 section 5) and credentials (RFC 1929
  // section 2); longer texts cannot be sent.
  static constexpr std::size_t kSocksMaxFieldLength = 255;

  std::string SocksIP;  // proxy host; empty = no SOCKS
  std::string SocksPort = "1080";
  std::int32_t SocksTimeout = kDefaultSocksTimeoutMs;  // ms, each wait of the exchange
  std::string SocksUsername;                           // SOCKS5 user name, SOCKS4 user id
  std::string SocksPassword;
  bool ViaSocks = false;  // the greeting succeeded on this socket
  // True: names go to the proxy to resolve; false: resolved here first.
  bool SocksResolver = true;
  std::string ReplyAddress;
  std::string ReplyPort;
  std::string ProxiedLocalAddress;
  std::string ProxiedLocalPort;
  std::string ProxiedRemoteAddress;
  std::string ProxiedRemotePort;
  TSocksType SocksType = ST_Socks5;

  // Greeting and, for SOCKS5, the authentication sub-negotiation; sets
  // ViaSocks when it succeeds.
  bool SocksOpenPhase();
  bool SocksSendRequest(std::uint8_t command, const std::string& host, const std::string& port);
  bool SocksReadReply();
  // SocksOpenPhase, SocksSendRequest and SocksReadReply in turn, each only
  // after the one before succeeded.
  bool SocksExchange(std::uint8_t command, const std::string& host, const std::string& port);
  // The address part of a request (with the port) for the current SocksType;
  // empty when the host cannot be expressed (a name over 255 bytes), and
  // empty with 11001 when it is to be resolved here and does not resolve.
  std::string SocksAddressBytes(const std::string& host, const std::string& port);
  // Fills ReplyAddress and ReplyPort; returns the 1-based position after the
  // parsed reply, 1 (and port "0", no address) when it is too short or of an
  // unknown address type.
  std::int32_t SocksParseReply(const std::string& reply);
};

}  // namespace movrek
