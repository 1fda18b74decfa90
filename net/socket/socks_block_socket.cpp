// The SOCKS client exchange: RFC 1928 (version 5), RFC 1929 (user name and
// password), and the SOCKS 4 / 4a protocol notes. Every read is an exact
// amount with SocksTimeout per wait; every refusal ends in 10091 (11003 for
// listening) at the caller.
#include "net/socket/socks_block_socket.h"

#include <string>

#include "net/base/ip_text.h"
#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/socket/tcp_block_socket.h"

namespace movrek {

namespace {

constexpr char kSocks5Version = 0x05;
constexpr char kSocks4Version = 0x04;
// RFC 1928 section 3 method numbers.
constexpr unsigned char kMethodNoAuth = 0x00;
constexpr unsigned char kMethodUserPass = 0x02;
// RFC 1929 section 2: version of the user name/password sub-negotiation.
constexpr char kUserPassVersion = 0x01;
// RFC 1928 section 4/5 address types.
constexpr unsigned char kAtypIPv4 = 0x01;
constexpr unsigned char kAtypName = 0x03;
constexpr unsigned char kAtypIPv6 = 0x04;
// Reply codes that mean success: 0 is RFC 1928's "succeeded", 90 (0x5A) the
// SOCKS 4 "request granted"; either is accepted from both versions.
constexpr unsigned char kReplySucceeded = 0x00;
constexpr unsigned char kReplyGranted = 0x5A;

unsigned char ByteAt(const std::string& bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

// Four address bytes in network order as "%d.%d.%d.%d".
std::string DottedQuad(const std::string& bytes, std::size_t offset) {
  std::string text;
  for (std::size_t i = 0; i < 4; ++i) {
    if (i > 0) {
      text += '.';
    }
    text += std::to_string(ByteAt(bytes, offset + i));
  }
  return text;
}

// One length byte and the text, as RFC 1928 (names) and RFC 1929 (user name,
// password) frame them. False when the text does not fit into 255 bytes: a
// cut length byte would make the proxy read the rest of the request as
// garbage.
bool AppendCounted(std::string& out, const std::string& text) {
  if (text.size() > TSocksBlockSocket::kSocksMaxFieldLength) {
    return false;
  }
  out += static_cast<char>(text.size());
  out += text;
  return true;
}

}  // namespace

bool TSocksBlockSocket::SocksOpenPhase() {
  ViaSocks = false;
  // SOCKS 4 has no greeting: the request itself opens the exchange.
  if (SocksType == ST_Socks4) {
    ViaSocks = true;
    return true;
  }
  std::string greeting{kSocks5Version};
  if (SocksUsername.empty()) {
    greeting += '\x01';
    greeting += static_cast<char>(kMethodNoAuth);
  } else {
    greeting += '\x02';
    greeting += static_cast<char>(kMethodUserPass);
    greeting += static_cast<char>(kMethodNoAuth);
  }
  SendText(greeting);
  if (LastErrorCode != 0) {
    return false;
  }
  std::string reply = ReceiveExactText(2, SocksTimeout);
  if (reply.size() < 2 || reply[0] != kSocks5Version) {
    return false;
  }

  switch (ByteAt(reply, 1)) {
    case kMethodNoAuth:
      ViaSocks = true;
      return true;
    case kMethodUserPass: {
      std::string request{kUserPassVersion};
      if (!AppendCounted(request, SocksUsername) || !AppendCounted(request, SocksPassword)) {
        return false;
      }
      SendText(request);
      if (LastErrorCode != 0) {
        return false;
      }
      reply = ReceiveExactText(2, SocksTimeout);
      if (reply.size() < 2 || reply[1] != 0) {
        return false;
      }
      ViaSocks = true;
      return true;
    }
    default:  // 0xFF: no acceptable method; anything else we did not offer
      return false;
  }
}

bool TSocksBlockSocket::SocksSendRequest(std::uint8_t command, const std::string& host,
                                         const std::string& port) {
  std::string address = SocksAddressBytes(host, port);
  if (address.empty()) {
    return false;
  }
  std::string request;
  if (SocksType == ST_Socks5) {
    request = {kSocks5Version, static_cast<char>(command), '\x00'};
  } else {
    request = {kSocks4Version, static_cast<char>(command)};
  }
  request += address;
  SendText(request);
  return LastErrorCode == 0;
}

std::string TSocksBlockSocket::SocksAddressBytes(const std::string& host, const std::string& port) {
  std::string target = host;
  if (!SocksResolver) {
    target = FirstAddressOf(host);
    // Nothing resolved: the wildcard address would have the proxy connect to
    // itself, so the name fails here as it would for a direct connection.
    if (target == "0.0.0.0" && !IsIPv4Text(host)) {
      // A lookup ended by a stop is an abort, as anywhere else.
      LastErrorCode = StopFlag.exchange(false) ? WSAECONNABORTED : WSAHOST_NOT_FOUND;
      return {};
    }
  }
  const std::string portBytes = PackWord16(static_cast<std::uint16_t>(PortNumberOf(port)));
  std::string out;
  if (SocksType == ST_Socks5) {
    if (IsIPv4Text(target)) {
      out += static_cast<char>(kAtypIPv4);
      out += IPv4ToBytes(target);
    } else if (IsIPv6Text(target)) {
      const TIPv6Bytes bytes = TextToIPv6(target);
      out += static_cast<char>(kAtypIPv6);
      out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    } else {
      out += static_cast<char>(kAtypName);
      if (!AppendCounted(out, target)) {
        return {};
      }
    }
    return out + portBytes;
  }
  out = portBytes;
  if (IsIPv4Text(target)) {
    out += IPv4ToBytes(target);
    out += SocksUsername;
    out += '\0';
  } else {
    // SOCKS 4a: the invalid address 0.0.0.1 tells the proxy that the name
    // follows the user id; SOCKS 4 itself cannot carry IPv6 either.
    out += std::string("\x00\x00\x00\x01", 4);
    out += SocksUsername;
    out += '\0';
    out += target;
    out += '\0';
  }
  return out;
}

bool TSocksBlockSocket::SocksReadReply() {
  ReplyAddress.clear();
  ReplyPort.clear();
  std::string reply;
  if (SocksType == ST_Socks4) {
    reply = ReceiveExactText(8, SocksTimeout);
    if (LastErrorCode != 0 || reply.size() < 8 || reply[0] != 0) {
      return false;
    }
  } else {
    reply = ReceiveExactText(4, SocksTimeout);
    if (LastErrorCode != 0 || reply.size() < 4 || reply[0] != kSocks5Version) {
      return false;
    }
    switch (ByteAt(reply, 3)) {
      case kAtypIPv4:
        reply += ReceiveExactText(4, SocksTimeout);
        break;
      case kAtypName: {
        const std::uint8_t length = ReceiveOctet(SocksTimeout);
        if (LastErrorCode != 0) {
          return false;
        }
        reply += static_cast<char>(length);
        reply += ReceiveExactText(length, SocksTimeout);
        break;
      }
      case kAtypIPv6:
        reply += ReceiveExactText(16, SocksTimeout);
        break;
      default:
        return false;
    }
    if (LastErrorCode != 0) {
      return false;
    }
    reply += ReceiveExactText(2, SocksTimeout);
    if (LastErrorCode != 0) {
      return false;
    }
  }
  const unsigned char code = ByteAt(reply, 1);
  if (code != kReplySucceeded && code != kReplyGranted) {
    return false;
  }
  SocksParseReply(reply);
  return true;
}

bool TSocksBlockSocket::SocksExchange(std::uint8_t command, const std::string& host,
                                      const std::string& port) {
  return SocksOpenPhase() && SocksSendRequest(command, host, port) && SocksReadReply();
}

std::int32_t TSocksBlockSocket::SocksParseReply(const std::string& reply) {
  ReplyPort = "0";
  ReplyAddress.clear();
  if (SocksType == ST_Socks4) {
    if (reply.size() < 8) {
      return 1;
    }
    ReplyPort = std::to_string(UnpackWord16(reply, 3));
    ReplyAddress = DottedQuad(reply, 4);
    return 9;
  }
  if (reply.size() < 4) {
    return 1;
  }
  switch (ByteAt(reply, 3)) {
    case kAtypIPv4:
      if (reply.size() < 10) {
        return 1;
      }
      ReplyAddress = DottedQuad(reply, 4);
      ReplyPort = std::to_string(UnpackWord16(reply, 9));
      return 11;
    case kAtypName: {
      const std::size_t length = reply.size() > 4 ? ByteAt(reply, 4) : 0;
      if (reply.size() < length + 7) {
        return 1;
      }
      ReplyAddress = reply.substr(5, length);
      ReplyPort = std::to_string(UnpackWord16(reply, length + 6));
      return static_cast<std::int32_t>(length + 8);
    }
    case kAtypIPv6: {
      if (reply.size() < 22) {
        return 1;
      }
      TIPv6Bytes bytes{};
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = ByteAt(reply, 4 + i);
      }
      ReplyAddress = IPv6ToText(bytes);
      ReplyPort = std::to_string(UnpackWord16(reply, 21));
      return 23;
    }
    default:
      return 1;
  }
}

void TTCPBlockSocket::SocksConnect(const std::string& host, const std::string& port) {
  TBlockSocket::ConnectTo(SocksIP, SocksPort);
  if (LastErrorCode == 0) {
    if (!SocksExchange(kSocksConnect, host, port) && LastErrorCode == 0) {
      LastErrorCode = WSASYSNOTREADY;
    }
    ProxiedLocalAddress = ReplyAddress;
    ProxiedLocalPort = ReplyPort;
    ProxiedRemoteAddress = host;
    ProxiedRemotePort = port;
  }
  RaiseIfFailed();
  ReportStatus(HR_Connect, host + ":" + port);
}

void TTCPBlockSocket::ListenForPeer() {
  ClearError();
  if (SocksIP.empty()) {
    CheckResult(SocketListen(Handle, kListenBacklog));
    SocketLocalAddress(Handle, LocalAddress);
    SocketPeerAddress(Handle, RemoteAddress);
  } else {
    // The socket's own end, not the proxied one a previous exchange left.
    std::string address = TBlockSocket::LocalAddressText();
    if (address.empty() || address == "0.0.0.0") {
      address = LocalMachineName();
    }
    const std::string port = std::to_string(TBlockSocket::LocalPortNumber());
    TBlockSocket::ConnectTo(SocksIP, SocksPort);
    if (LastErrorCode == 0) {
      if (!SocksExchange(kSocksBind, address, port) && LastErrorCode == 0) {
        LastErrorCode = WSANO_RECOVERY;
      }
      // A proxy that binds on all its interfaces is reached at its own address.
      ProxiedLocalAddress = ReplyAddress == "0.0.0.0" ? SocksIP : ReplyAddress;
      ProxiedLocalPort = ReplyPort;
      ProxiedRemoteAddress.clear();
      ProxiedRemotePort.clear();
    }
  }
  RaiseIfFailed();
  ReportStatus(HR_Listen, "");
}

}  // namespace movrek
