// The TCP socket every transfer runs on: a stream socket that connects
// directly, through a SOCKS proxy or through an HTTP CONNECT tunnel, closes
// in order and can run TLS through its plug-in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/socket/custom_ssl.h"
#include "net/socket/socket_limits.h"
#include "net/socket/socks_block_socket.h"

namespace movrek {

class TTCPBlockSocket : public TSocksBlockSocket {
 public:
  // The plug-in comes from TlsPluginClass.
  TTCPBlockSocket();
  explicit TTCPBlockSocket(TTlsPluginFactory pluginClass);
  ~TTCPBlockSocket() override;

  THookAfterConnect OnAfterConnect;
  std::unique_ptr<TCustomSSL> TlsPlugin;  // owned; never null
  // HTTP proxy that opens the tunnel; empty = no tunnel.
  std::string HTTPTunnelIP;
  std::string HTTPTunnelPort;
  bool TunnelEstablished = false;
  std::string TunnelRemoteIP;  // target as given to the proxy (IPv6 bracketed)
  std::string TunnelRemotePort;
  std::string HTTPTunnelUser;
  std::string HTTPTunnelPass;
  std::int32_t HTTPTunnelTimeout = kDefaultHTTPTunnelTimeoutMs;  // ms, each wait
  // ms, each wait of the TLS plug-in's handshake, sends and close; the rest
  // of a record being received waits with the receive's own time-out.
  std::int32_t TlsTimeout = kDefaultTransferTimeoutMs;

  void CloseConnection() override;
  // Through SOCKS when SocksIP is set, else through the tunnel when
  // HTTPTunnelIP is set, else directly; then OnAfterConnect on success.
  void ConnectTo(const std::string& host, const std::string& port) override;
  std::int32_t ReceiveSome(void* buffer, std::int32_t length) override;
  std::int32_t PendingBytes() override;
  std::string LocalAddressText() override;
  std::string RemoteAddressText() override;
  std::int32_t LocalPortNumber() override;
  std::int32_t RemotePortNumber() override;
  std::int32_t SocketKind() override;
  std::int32_t SocketProtocolNumber() override;
  std::string GetErrorDescEx() override;
  // Listens on the bound handle, or through the SOCKS proxy (bind command).
  virtual void ListenForPeer();

  // Client TLS handshake on the connected handle; 10091 when it fails, but
  // 10060 or 10053 when a wait for the server timed out or was stopped.
  void StartTls();

  // The proxy connect steps used by ConnectTo; results in LastErrorCode.
  void SocksConnect(const std::string& host, const std::string& port);
  void TunnelConnect(const std::string& host, const std::string& port);

 protected:
  // Through the TLS plug-in while a session is active.
  std::int32_t SendPiece(const char* data, std::int32_t length) override;
};

}  // namespace movrek
