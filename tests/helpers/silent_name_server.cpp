#include "tests/helpers/silent_name_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace movrek::test {

int LoopbackUdpSocket(int flags, int& port) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | flags, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
    throw std::runtime_error("name server: no loopback UDP socket");
  }
  port = ntohs(addr.sin_port);
  return fd;
}

SilentNameServer::SilentNameServer() : fd_(LoopbackUdpSocket(SOCK_NONBLOCK, port_)) {}

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
