// Arbitrary bytes as a proxy's answer to a SOCKS 5, SOCKS 4 or HTTP CONNECT
// exchange: no answer may crash the client, read outside its buffers, hang
// it, or be taken for an open tunnel when it does not grant one.
//
// The first byte chooses the exchange: bits 0-1 SOCKS 5, SOCKS 5 with user
// name and password, SOCKS 4, CONNECT; bit 2 the target as a name instead of
// an address; bit 3 names resolved here first.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/base/socket_api.h"
#include "net/base/winsock_errors.h"
#include "net/socket/tcp_block_socket.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// One listening loopback socket for the whole run; each connection waits in
// its backlog until the client has connected, and is answered then.
movrek::TTCPBlockSocket& Listener() {
  static movrek::TTCPBlockSocket listener;
  if (listener.Handle == movrek::INVALID_SOCKET) {
    listener.BindTo("127.0.0.1", "0");
    listener.ListenForPeer();
    Check(listener.LastErrorCode == 0);
  }
  return listener;
}

bool IsDecimal(const std::string& text) {
  if (text.empty() || text.size() > 5) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoi(text) <= 65535;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace movrek;
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  TTCPBlockSocket& listener = Listener();
  const std::string port = std::to_string(listener.LocalPortNumber());
  const int mode = options & 3;

  TTCPBlockSocket socket;
  socket.SocksTimeout = 200;
  socket.HTTPTunnelTimeout = 200;
  if (mode == 3) {
    socket.HTTPTunnelIP = "127.0.0.1";
    socket.HTTPTunnelPort = port;
  } else {
    socket.SocksIP = "127.0.0.1";
    socket.SocksPort = port;
    socket.SocksType = mode == 2 ? ST_Socks4 : ST_Socks5;
    if (mode == 1) {
      socket.SocksUsername = "user";
      socket.SocksPassword = "pass";
    }
    socket.SocksResolver = (options & 8) == 0;
  }

  // The first connect report is the one for the proxy itself: the answer is
  // written then, before the client sends its first byte.
  int server = -1;
  socket.OnStatus = [&](TBlockSocket*, THookSocketReason reason, const std::string&) {
    if (reason != HR_Connect || server >= 0) return;
    TSockAddrAny peer;
    server = SocketAccept(listener.Handle, peer);
    Check(server >= 0);
    SocketSetNonBlocking(server, true);
    SocketSetIntOption(server, SOL_SOCKET, SO_SNDBUF, 4 << 20);
    std::size_t sent = 0;
    while (sent < reply.size()) {
      const int n =
          SocketSend(server, reply.data() + sent, static_cast<int>(reply.size() - sent), 0);
      if (n <= 0) break;  // what does not fit is simply not part of the answer
      sent += static_cast<std::size_t>(n);
    }
    SocketShutdown(server, SHUT_WR);
  };

  socket.ConnectTo(options & 4 ? "localhost" : "10.0.0.1", "443");
  const std::int32_t error = socket.LastErrorCode;
  socket.CloseConnection();
  if (server >= 0) {
    SocketSetLinger(server, true, 0);  // no TIME_WAIT pile-up over millions of runs
    SocketClose(server);
  }

  Check(server >= 0);
  // The peer always closes its side, so no answer may end in a time-out.
  Check(error == 0 || error == WSASYSNOTREADY || error == WSAECONNRESET);
  Check(socket.ReadAhead.size() <= reply.size());
  if (mode == 3) {
    Check(socket.TunnelEstablished == (error == 0));
    if (error == 0) Check(reply.find("HTTP/") != std::string::npos);
  } else if (error == 0) {
    Check(socket.ViaSocks);
    Check(IsDecimal(socket.ReplyPort));
    Check(socket.ReplyAddress.size() <= 255);
    Check(socket.ProxiedRemoteAddress == (options & 4 ? "localhost" : "10.0.0.1"));
  }
  return 0;
}
