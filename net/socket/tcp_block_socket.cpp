#include "net/socket/tcp_block_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <limits>
#include <string>

#include "net/base/winsock_errors.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// The decimal value of a port text, 0 when it is not a plain number.
std::int32_t PortTextValue(const std::string& text) {
  const auto value = ParseDigits(text, std::numeric_limits<std::int32_t>::max());
  return value ? static_cast<std::int32_t>(*value) : 0;
}

// The socket error for a failure of the TLS plug-in: a wait for the peer that
// timed out or was stopped keeps its own code, anything else is TLS's.
std::int32_t TlsFailureCode(const TCustomSSL& plugin) {
  const std::int32_t code = plugin.LastErrorCode;
  return code == WSAETIMEDOUT || code == WSAECONNABORTED ? code : WSASYSNOTREADY;
}

}  // namespace

TTCPBlockSocket::TTCPBlockSocket() : TTCPBlockSocket(TlsPluginClass.load()) {}

TTCPBlockSocket::TTCPBlockSocket(TTlsPluginFactory pluginClass) {
  if (pluginClass != nullptr) {
    TlsPlugin = pluginClass(*this);
  }
  if (!TlsPlugin) {
    TlsPlugin = TSSLNone::CreateForSocket(*this);
  }
}

TTCPBlockSocket::~TTCPBlockSocket() {
  // Closed here, while the plug-in still exists and TLS can end in order.
  RaiseExcept = false;
  CloseConnection();
  closedForDestruction_ = true;
}

void TTCPBlockSocket::CloseConnection() {
  if (TlsPlugin->TlsActive) {
    TlsPlugin->EndTls();
  }
  if (Handle != INVALID_SOCKET && LastErrorCode == 0) {
    SocketShutdown(Handle, SHUT_WR);
    Discard();
  }
  DropHandle();
}

void TTCPBlockSocket::ConnectTo(const std::string& host, const std::string& port) {
  TlsPlugin->VerifyError.clear();  // of the last connection's handshake
  if (!SocksIP.empty()) {
    SocksConnect(host, port);
  } else if (!HTTPTunnelIP.empty()) {
    TunnelConnect(host, port);
  } else {
    TBlockSocket::ConnectTo(host, port);
  }
  if (LastErrorCode == 0 && OnAfterConnect) {
    OnAfterConnect(this);
  }
}

void TTCPBlockSocket::StartTls() {
  ClearError();
  if (!TlsPlugin->StartClientTls()) {
    LastErrorCode = TlsFailureCode(*TlsPlugin);
  }
  RaiseIfFailed();
}

std::int32_t TTCPBlockSocket::SendPiece(const char* data, std::int32_t length) {
  if (!TlsPlugin->TlsActive) {
    return TBlockSocket::SendPiece(data, length);
  }
  const std::int32_t sent = TlsPlugin->TlsSend(data, length);
  if (TlsPlugin->LastErrorCode != 0) {
    LastErrorCode = TlsFailureCode(*TlsPlugin);
  } else if (sent <= 0) {
    // The peer ended the TLS session: nothing more can be sent, and
    // retrying would never end.
    LastErrorCode = WSAECONNRESET;
  }
  return sent;
}

std::int32_t TTCPBlockSocket::ReceiveSome(void* buffer, std::int32_t length) {
  if (!TlsPlugin->TlsActive) {
    return TBlockSocket::ReceiveSome(buffer, length);
  }
  if (ConsumeStop()) {
    return 0;
  }
  ClearError();
  Throttle(length, MaxRecvBandwidth, NextRecvTick);
  const std::int32_t received = TlsPlugin->TlsRecv(buffer, length);
  if (TlsPlugin->LastErrorCode != 0) {
    LastErrorCode = TlsFailureCode(*TlsPlugin);
  } else if (received == 0 && length > 0) {
    LastErrorCode = WSAECONNRESET;  // the peer closed the TLS session
  }
  RaiseIfFailed();
  // Every call is reported, but a failure must not count as bytes received.
  const std::int32_t delivered = AfterReceive(buffer, std::max(received, 0));
  return received < 0 ? received : delivered;
}

std::int32_t TTCPBlockSocket::PendingBytes() {
  if (TlsPlugin->TlsActive && Handle != INVALID_SOCKET) {
    const std::int32_t buffered = TlsPlugin->TlsPending();
    if (buffered > 0) {
      return std::min(buffered, kMaxPendingBytes);
    }
  }
  return TBlockSocket::PendingBytes();
}

std::string TTCPBlockSocket::LocalAddressText() {
  if (ViaSocks) {
    return ProxiedLocalAddress;
  }
  return TBlockSocket::LocalAddressText();
}

std::string TTCPBlockSocket::RemoteAddressText() {
  if (ViaSocks) {
    return ProxiedRemoteAddress;
  }
  if (TunnelEstablished) {
    return TunnelRemoteIP;
  }
  return TBlockSocket::RemoteAddressText();
}

std::int32_t TTCPBlockSocket::LocalPortNumber() {
  if (ViaSocks) {
    return PortTextValue(ProxiedLocalPort);
  }
  return TBlockSocket::LocalPortNumber();
}

std::int32_t TTCPBlockSocket::RemotePortNumber() {
  if (ViaSocks) {
    return PortNumberOf(ProxiedRemotePort);
  }
  if (TunnelEstablished) {
    return PortTextValue(TunnelRemotePort);
  }
  return TBlockSocket::RemotePortNumber();
}

std::int32_t TTCPBlockSocket::SocketKind() {
  return SOCK_STREAM;
}

std::int32_t TTCPBlockSocket::SocketProtocolNumber() {
  return IPPROTO_TCP;
}

std::string TTCPBlockSocket::GetErrorDescEx() {
  // The plug-in knows why TLS failed; a transfer failure carries no text of
  // its own, and then the general description serves.
  if (LastErrorCode == WSASYSNOTREADY && TlsPlugin->LastErrorCode != 0 &&
      !TlsPlugin->LastErrorText.empty()) {
    return TlsPlugin->LastErrorText;
  }
  return GetErrorDesc(LastErrorCode);
}

}  // namespace movrek
