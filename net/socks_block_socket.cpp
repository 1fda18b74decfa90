// Temporary definitions: every SOCKS step fails until the exchange lands.
#include "net/socks_block_socket.h"

#include "net/socket_errors.h"
#include "net/tcp_block_socket.h"

namespace movrek {

bool TSocksBlockSocket::SocksOpenPhase() {
  ViaSocks = false;
  return false;
}

bool TSocksBlockSocket::SocksSendRequest(std::uint8_t /*command*/, const std::string& /*host*/,
                                         const std::string& /*port*/) {
  return false;
}

bool TSocksBlockSocket::SocksReadReply() {
  ReplyAddress.clear();
  ReplyPort.clear();
  return false;
}

std::string TSocksBlockSocket::SocksAddressBytes(const std::string& /*host*/,
                                                 const std::string& /*port*/) {
  return {};
}

std::int32_t TSocksBlockSocket::SocksParseReply(const std::string& /*reply*/) {
  ReplyPort.assign(1, '0');
  ReplyAddress.clear();
  return 1;
}

void TTCPBlockSocket::SocksConnect(const std::string& host, const std::string& port) {
  ClearError();
  LastErrorCode = WSASYSNOTREADY;
  RaiseIfFailed();
  ReportStatus(HR_Connect, host + ":" + port);
}

void TTCPBlockSocket::ListenForPeer() {
  ClearError();
  if (!SocksIP.empty()) {
    LastErrorCode = WSANO_RECOVERY;
  } else {
    CheckResult(SocketListen(Handle, kListenBacklog));
    SocketLocalAddress(Handle, LocalAddress);
    SocketPeerAddress(Handle, RemoteAddress);
  }
  RaiseIfFailed();
  ReportStatus(HR_Listen, "");
}

}  // namespace movrek
