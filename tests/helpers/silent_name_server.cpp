#include "tests/helpers/silent_name_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace movrek::test {

SilentNameServer::SilentNameServer() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    throw std::runtime_error("silent name server: no loopback UDP socket");
  }
  port_ = ntohs(addr.sin_port);
}

SilentNameServer::~SilentNameServer() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::string SilentNameServer::Address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

int SilentNameServer::Dropped() {
  char buffer[512];
  while (::recv(fd_, buffer, sizeof buffer, 0) >= 0) {
    ++dropped_;
  }
  return dropped_;
}

}  // namespace movrek::test
