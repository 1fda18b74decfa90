#include "fuzz/net/http_response_feed.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net/http/fetch.h"
#include "net/http/http_transaction.h"

namespace movrek::fuzz {
namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// One listening loopback socket for the whole run: connections wait in its
// backlog until the client's connect hook takes them.
int ListenSocket(uint16_t& port) {
  static int fd = -1;
  static uint16_t bound_port = 0;
  if (fd < 0) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Check(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    Check(::listen(fd, 16) == 0);
    socklen_t length = sizeof address;
    Check(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    bound_port = ntohs(address.sin_port);
  }
  port = bound_port;
  return fd;
}

}  // namespace

void FeedResponse(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::uint8_t options = data[0];
  const std::string response(reinterpret_cast<const char*>(data) + 1, size - 1);
  uint16_t port = 0;
  const int listener = ListenSocket(port);

  THttpTransaction http;
  http.Timeout = 200;
  if (options & 2) http.Protocol = "1.1";
  if (options & 4) {
    http.Status100 = true;
    http.Document = "body";
  }
  if (options & 8) http.Cookies = {"a=1", "B=2"};

  int server = -1;
  http.Sock->OnAfterConnect = [&](TBlockSocket*) {
    server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    // libFuzzer's own timer signal can interrupt the connect (10004); that
    // input then never reached the client and is simply skipped.
    if (server < 0 && http.Sock->LastErrorCode == 10004) return;
    if (server < 0) {
      // Any other connect failure is a fault of the harness's transport, not of
      // response handling; say which so that it can be told apart.
      std::fprintf(stderr, "connect failed: %d %s\n", http.Sock->LastErrorCode,
                   http.Sock->LastErrorText.c_str());
      std::abort();
    }
    const int buffer = 4 << 20;
    ::setsockopt(server, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t n =
          ::send(server, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;  // what does not fit is simply not part of the answer
      sent += static_cast<size_t>(n);
    }
    ::shutdown(server, SHUT_WR);
  };

  const bool ok = http.PerformRequest(options & 1 ? "HEAD" : "GET",
                                      "http://127.0.0.1:" + std::to_string(port) + "/f");
  if (server >= 0) {
    const linger reset{1, 0};  // no TIME_WAIT pile-up over millions of runs
    ::setsockopt(server, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(server);
  }

  // libFuzzer's own timer signal can interrupt the connect (10004); that
  // input then never reached the client and is simply skipped.
  if (server < 0 && http.Sock->LastErrorCode == 10004) return;
  if (server < 0) {
    // Any other connect failure is a fault of the harness's transport, not of
    // response handling; say which so that it can be told apart.
    std::fprintf(stderr, "connect failed: %d %s\n", http.Sock->LastErrorCode,
                 http.Sock->LastErrorText.c_str());
    std::abort();
  }
  Check(!ok || http.Sock->LastErrorCode == 0);
  // Nothing beyond what the server sent (plus the line end given to a first
  // line without status) and no memory committed for announced sizes.
  Check(http.Document.size() <= response.size() + 8);
  Check(http.Document.capacity() <= (size_t{8} << 20) + 4 * response.size());
  Check(http.Headers.size() <= response.size() + 16);
  Check(http.DownloadSize >= 0);
  const int location = FindLocationLine(http);
  Check(location >= -1 && location < static_cast<int>(http.Headers.size()));
  for (const std::string& cookie : http.Cookies) Check(cookie.find('=') != std::string::npos);
}

}  // namespace movrek::fuzz
