// Temporary definition: the tunnel fails until the CONNECT exchange lands.
#include "net/socket_errors.h"
#include "net/tcp_block_socket.h"

namespace movrek {

void TTCPBlockSocket::TunnelConnect(const std::string& /*host*/, const std::string& /*port*/) {
  ClearError();
  TunnelEstablished = false;
  LastErrorCode = WSASYSNOTREADY;
  RaiseIfFailed();
}

}  // namespace movrek
