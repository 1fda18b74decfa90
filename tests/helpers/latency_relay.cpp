#include "tests/helpers/latency_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <stdexcept>
#include <utility>

namespace movrek::test {
namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting carrier looks at the stop request.
constexpr int kStopCheckMs = 50;

int ConnectTo(const std::string& host, uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) {
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) {
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

// Both sockets of one relayed connection; closed when both directions end.
struct LatencyRelay::Link {
  Link(int client_fd, int server_fd) : client(client_fd), server(server_fd) {}
  ~Link() {
    ::close(client);
    ::close(server);
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  int client;
  int server;
};

LatencyRelay::LatencyRelay(const std::string& target_host, uint16_t target_port, int one_way_ms,
                           const std::string& listen_address)
    : target_host_(target_host),
      target_port_(target_port),
      one_way_ms_(one_way_ms),
      listen_address_(listen_address) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  socklen_t size = sizeof address;
  if (listen_fd_ < 0 || ::inet_pton(AF_INET, listen_address.c_str(), &address.sin_addr) != 1 ||
      ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listen_fd_, 512) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("latency relay: cannot listen on " + listen_address);
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Serve(); });
}

LatencyRelay::~LatencyRelay() {
  stopping_.store(true);
  acceptor_.join();
  ::close(listen_fd_);
  std::lock_guard<std::mutex> guard(lock_);
  for (Carrier& carrier : carriers_) {
    carrier.thread.join();
  }
}

std::string LatencyRelay::Url(const std::string& scheme, const std::string& path) const {
  return scheme + "://" + listen_address_ + ":" + std::to_string(port_) + path;
}

void LatencyRelay::Serve() {
  while (!stopping_.load()) {
    pollfd ready{listen_fd_, POLLIN, 0};
    if (::poll(&ready, 1, kStopCheckMs) != 1) {
      continue;
    }
    const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      continue;
    }
    accepted_.fetch_add(1);
    const int server = ConnectTo(target_host_, target_port_);
    if (server < 0) {
      ::close(client);
      continue;
    }
    for (const int fd : {client, server}) {
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    auto link = std::make_shared<Link>(client, server);
    std::lock_guard<std::mutex> guard(lock_);
    ReapFinished();
    for (const auto& [from, to] : {std::pair{client, server}, std::pair{server, client}}) {
      auto done = std::make_shared<std::atomic<bool>>(false);
      carriers_.push_back(Carrier{std::thread([this, link, from = from, to = to, done] {
                                    Carry(link, from, to);
                                    done->store(true);
                                  }),
                                  done});
    }
  }
}

void LatencyRelay::ReapFinished() {
  std::erase_if(carriers_, [](Carrier& carrier) {
    if (!carrier.done->load()) {
      return false;
    }
    carrier.thread.join();
    return true;
  });
}

void LatencyRelay::Carry(const std::shared_ptr<Link>& link, int from, int to) {
  // Pieces in the order read, each with the time it may go on; an empty
  // piece stands for the end of the direction.
  std::deque<std::pair<Clock::time_point, std::string>> held;
  bool reading = true;
  const auto delay = std::chrono::milliseconds(one_way_ms_);
  while (!stopping_.load() && (reading || !held.empty())) {
    int wait_ms = kStopCheckMs;
    if (!held.empty()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(held.front().first - Clock::now());
      wait_ms = std::clamp(static_cast<int>(left.count()), 0, kStopCheckMs);
    }
    pollfd ready{from, static_cast<short>(reading ? POLLIN : 0), 0};
    if (::poll(&ready, 1, wait_ms) == 1 && reading) {
      char buffer[65536];
      const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
      const auto due = Clock::now() + delay;
      if (n > 0) {
        held.emplace_back(due, std::string(buffer, static_cast<std::size_t>(n)));
      } else {
        reading = false;
        held.emplace_back(due, std::string());
      }
    }
    while (!held.empty() && held.front().first <= Clock::now()) {
      if (held.front().second.empty()) {
        ::shutdown(to, SHUT_WR);
      } else if (!SendAll(to, held.front().second)) {
        reading = false;
        ::shutdown(from, SHUT_RD);
        held.clear();
        break;
      }
      held.pop_front();
    }
  }
  (void)link;  // held until both directions are through
}

}  // namespace movrek::test
