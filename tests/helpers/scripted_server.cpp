#include "scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace movrek::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadBlock = 64 * 1024;
constexpr size_t kSendBlock = 64 * 1024;
// After the script sends FIN, what the client still sends is read before the
// socket is closed: close() with unread data sends an RST, which can destroy
// the response before the client read it. The drain ends at EOF, after a
// quiet spell, or at the cap.
constexpr int kDrainMs = 1000;
constexpr int kDrainQuietMs = 50;

std::runtime_error SysError(const char* what) {
  return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

int RemainingMs(Clock::time_point deadline) {
  auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

}  // namespace

uint16_t UnusedLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw SysError("socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw SysError("bind");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);  // bound but never listening: nothing answers on it now
  return ntohs(addr.sin_port);
}

std::string PatternBytes(size_t n, size_t offset) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    // A hash of the position, so no shift of a slice matches the original.
    uint64_t x = (offset + i) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    x *= 0xBF58476D1CE4E5B9ull;
    out[i] = kAlphabet[x >> 58];
  }
  return out;
}

std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extra_headers) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
         extra_headers + "\r\n" + body;
}

struct ScriptedServer::Action {
  // fd is set to -1 by steps that close the socket.
  std::function<bool(int& fd, size_t index)> run;
};

ScriptedServer::ScriptedServer(const std::string& address) : host_(address) {
  const bool v6 = address.find(':') != std::string::npos;
  listen_fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw SysError("socket");
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage ss{};
  socklen_t len;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
    a->sin6_family = AF_INET6;
    if (::inet_pton(AF_INET6, address.c_str(), &a->sin6_addr) != 1)
      throw std::runtime_error("bad address " + address);
    len = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&ss);
    a->sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.c_str(), &a->sin_addr) != 1)
      throw std::runtime_error("bad address " + address);
    len = sizeof *a;
  }
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&ss), len) != 0 ||
      ::listen(listen_fd_, 64) != 0) {
    int e = errno;
    ::close(listen_fd_);
    errno = e;
    throw SysError("bind/listen");
  }
  len = sizeof ss;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&ss), &len);
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  if (::pipe2(wake_pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    ::close(listen_fd_);
    throw SysError("pipe2");
  }
  scripts_.emplace_back();
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  char c = 'x';
  [[maybe_unused]] ssize_t w = ::write(wake_pipe_[1], &c, 1);
  if (thread_.joinable()) thread_.join();
  ::close(listen_fd_);
  ::close(wake_pipe_[0]);
  ::close(wake_pipe_[1]);
}

std::string ScriptedServer::Url(const std::string& path) const {
  std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
  return "http://" + host + ":" + std::to_string(port_) + path;
}

// ---- script building ------------------------------------------------------

namespace {
// Writes everything, waiting for room with poll so that a stop request or a
// stuck client never blocks the server thread for good.
bool SendAllImpl(int fd, const char* data, size_t size, int wake_fd,
                 const std::atomic<bool>& stopping, std::string* problem) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ScriptedServer::kReadTimeoutMs);
  while (size > 0) {
    if (stopping) return false;
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (RemainingMs(deadline) == 0) {
        *problem = "send timed out (client does not read)";
        return false;
      }
      pollfd p[2] = {{fd, POLLOUT, 0}, {wake_fd, POLLIN, 0}};
      ::poll(p, 2, RemainingMs(deadline));
      continue;
    }
    *problem = std::string("send failed: ") + std::strerror(errno);
    return false;
  }
  return true;
}
}  // namespace

ScriptedServer& ScriptedServer::Call(Step step) {
  scripts_.back().push_back(
      {[step = std::move(step)](int& fd, size_t) { return fd >= 0 && step(fd); }});
  return *this;
}

ScriptedServer& ScriptedServer::Send(std::string bytes) {
  scripts_.back().push_back({[this, bytes = std::move(bytes)](int& fd, size_t index) {
    std::string problem;
    if (fd < 0)
      problem = "send after close";
    else if (SendAllImpl(fd, bytes.data(), bytes.size(), wake_pipe_[0], stopping_, &problem))
      return true;
    if (!problem.empty()) Note(index, problem);
    return false;
  }});
  return *this;
}

ScriptedServer& ScriptedServer::SendSplit(std::string bytes, size_t piece, int pause_ms) {
  if (piece == 0) piece = 1;
  scripts_.back().push_back(
      {[this, bytes = std::move(bytes), piece, pause_ms](int& fd, size_t index) {
        std::string problem;
        for (size_t at = 0; at < bytes.size(); at += piece) {
          if (fd < 0) problem = "send after close";
          if (fd < 0 || !SendAllImpl(fd, bytes.data() + at, std::min(piece, bytes.size() - at),
                                     wake_pipe_[0], stopping_, &problem)) {
            if (!problem.empty()) Note(index, problem);
            return false;
          }
          if (at + piece < bytes.size() && !Sleep(pause_ms)) return false;
        }
        return true;
      }});
  return *this;
}

ScriptedServer& ScriptedServer::SendLarge(size_t n) {
  scripts_.back().push_back({[this, n](int& fd, size_t index) {
    std::string problem;
    for (size_t at = 0; at < n; at += kSendBlock) {
      std::string block = PatternBytes(std::min(kSendBlock, n - at), at);
      if (fd < 0) problem = "send after close";
      if (fd < 0 ||
          !SendAllImpl(fd, block.data(), block.size(), wake_pipe_[0], stopping_, &problem)) {
        if (!problem.empty()) Note(index, problem);
        return false;
      }
    }
    return true;
  }});
  return *this;
}

ScriptedServer& ScriptedServer::Pause(int ms) {
  scripts_.back().push_back({[this, ms](int&, size_t) { return Sleep(ms); }});
  return *this;
}

ScriptedServer& ScriptedServer::Silence(int ms) {
  return Pause(ms);
}

ScriptedServer& ScriptedServer::ReadUntil(std::string terminator) {
  scripts_.back().push_back({[this, terminator = std::move(terminator)](int& fd, size_t index) {
    return fd >= 0 && ReadUntilImpl(fd, index, terminator, consumed_);
  }});
  return *this;
}

ScriptedServer& ScriptedServer::ReadBytes(size_t n) {
  scripts_.back().push_back({[this, n](int& fd, size_t index) {
    return fd >= 0 && ReadBytesImpl(fd, index, consumed_, n);
  }});
  return *this;
}

ScriptedServer& ScriptedServer::ReadRequest() {
  scripts_.back().push_back(
      {[this](int& fd, size_t index) { return fd >= 0 && ReadRequestImpl(fd, index); }});
  return *this;
}

ScriptedServer& ScriptedServer::ReadAll() {
  scripts_.back().push_back({[this](int& fd, size_t index) {
    if (fd < 0) return false;
    auto deadline = Clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
    bool eof = false;
    while (!eof) {
      if (!ReadSome(fd, index, RemainingMs(deadline), &eof)) {
        if (!stopping_) Note(index, "ReadAll: client did not close in time");
        return false;
      }
    }
    std::lock_guard lock(mutex_);
    consumed_ = received_[index].size();
    return true;
  }});
  return *this;
}

ScriptedServer& ScriptedServer::HalfClose() {
  scripts_.back().push_back(
      {[](int& fd, size_t) { return fd >= 0 && ::shutdown(fd, SHUT_WR) == 0; }});
  return *this;
}

ScriptedServer& ScriptedServer::Reset() {
  scripts_.back().push_back({[](int& fd, size_t) {
    if (fd < 0) return false;
    linger lg{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(fd);
    fd = -1;
    return true;
  }});
  return *this;
}

ScriptedServer& ScriptedServer::Close() {
  scripts_.back().push_back({[this](int& fd, size_t index) {
    if (fd < 0) return false;
    CloseOrderly(fd, index);
    fd = -1;
    return true;
  }});
  return *this;
}

ScriptedServer& ScriptedServer::RepeatForever() {
  repeat_last_ = true;
  return *this;
}

ScriptedServer& ScriptedServer::NextConnection() {
  scripts_.emplace_back();
  return *this;
}

// ---- serving --------------------------------------------------------------

void ScriptedServer::Start() {
  thread_ = std::thread(&ScriptedServer::Serve, this);
}

void ScriptedServer::Serve() {
  while (!stopping_) {
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    if (::poll(p, 2, -1) < 0 && errno != EINTR) break;
    if (stopping_) break;
    if (!(p[0].revents & POLLIN)) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    size_t index;
    {
      std::lock_guard lock(mutex_);
      index = received_.size();
      received_.emplace_back();
    }
    changed_.notify_all();
    Play(fd, index);
    if (index < scripts_.size()) {
      std::lock_guard lock(mutex_);
      ++played_;
    }
    changed_.notify_all();
  }
}

void ScriptedServer::Play(int fd, size_t index) {
  consumed_ = 0;
  static const Script kNone;
  const Script& script = index < scripts_.size() ? scripts_[index]
                         : repeat_last_          ? scripts_.back()
                                                 : kNone;
  for (const Action& action : script) {
    if (stopping_) break;
    // An exception must not escape the server thread (std::terminate would
    // take the whole test program down); it ends this script instead.
    try {
      if (!action.run(fd, index)) break;
    } catch (const std::exception& e) {
      Note(index, std::string("step threw: ") + e.what());
      break;
    }
  }
  if (fd >= 0) CloseOrderly(fd, index);
}

void ScriptedServer::CloseOrderly(int fd, size_t index) {
  ::shutdown(fd, SHUT_WR);
  auto deadline = Clock::now() + std::chrono::milliseconds(kDrainMs);
  bool eof = false;
  while (!eof && RemainingMs(deadline) > 0 &&
         ReadSome(fd, index, std::min(kDrainQuietMs, RemainingMs(deadline)), &eof)) {
  }
  ::close(fd);
}

bool ScriptedServer::Sleep(int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!stopping_) {
    int left = RemainingMs(deadline);
    if (left == 0) return true;
    pollfd p{wake_pipe_[0], POLLIN, 0};
    ::poll(&p, 1, left);
  }
  return false;
}

bool ScriptedServer::ReadSome(int fd, size_t index, int timeout_ms, bool* eof) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  char buf[kReadBlock];
  while (!stopping_) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      {
        std::lock_guard lock(mutex_);
        received_[index].append(buf, static_cast<size_t>(n));
      }
      changed_.notify_all();
      return true;
    }
    if (n == 0) {
      *eof = true;
      return true;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      *eof = true;  // reset by the client: nothing more will come
      return true;
    }
    int left = RemainingMs(deadline);
    if (left == 0) return false;
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
    ::poll(p, 2, left);
  }
  return false;
}

bool ScriptedServer::ReadUntilEnd(int fd, size_t index,
                                  const std::function<size_t(const std::string&)>& end_of,
                                  const char* step) {
  auto deadline = Clock::now() + std::chrono::milliseconds(kReadTimeoutMs);
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      size_t end = end_of(received_[index]);
      if (end != std::string::npos) {
        consumed_ = end;
        return true;
      }
    }
    bool eof = false;
    if (!ReadSome(fd, index, RemainingMs(deadline), &eof)) {
      if (!stopping_) Note(index, std::string(step) + ": timed out waiting for the client");
      return false;
    }
    if (eof) {
      Note(index, std::string(step) + ": client closed before the expected data");
      return false;
    }
  }
}

bool ScriptedServer::ReadUntilImpl(int fd, size_t index, const std::string& terminator,
                                   size_t from) {
  return ReadUntilEnd(
      fd, index,
      [&](const std::string& got) {
        size_t at = got.find(terminator, from);
        return at == std::string::npos ? at : at + terminator.size();
      },
      "ReadUntil");
}

bool ScriptedServer::ReadBytesImpl(int fd, size_t index, size_t from, size_t n) {
  return ReadUntilEnd(
      fd, index,
      [&](const std::string& got) { return got.size() >= from + n ? from + n : std::string::npos; },
      "ReadBytes");
}

bool ScriptedServer::ReadRequestImpl(int fd, size_t index) {
  size_t start = consumed_;
  if (!ReadUntilImpl(fd, index, "\r\n\r\n", start)) return false;
  std::string head = Received(index).substr(start, consumed_ - start);
  long long content_length = -1;
  bool chunked = false;
  size_t pos = head.find("\r\n");  // skip the request line
  while (pos != std::string::npos && pos + 2 < head.size()) {
    size_t end = head.find("\r\n", pos + 2);
    std::string line = head.substr(pos + 2, end - pos - 2);
    pos = end;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = Trim(line.substr(0, colon));
    std::string value = Trim(line.substr(colon + 1));
    if (EqualsNoCase(name, "Content-Length")) content_length = std::stoll(value);
    if (EqualsNoCase(name, "Transfer-Encoding") && value.find("chunked") != std::string::npos)
      chunked = true;
  }
  // RFC 9112 section 6.3: chunked framing wins over Content-Length.
  if (chunked) {
    for (;;) {
      size_t line_start = consumed_;
      if (!ReadUntilImpl(fd, index, "\r\n", line_start)) return false;
      std::string size_line = Received(index).substr(line_start, consumed_ - line_start - 2);
      unsigned long long size = std::stoull(size_line, nullptr, 16);
      if (size == 0) {
        // Trailer fields up to the empty line.
        for (;;) {
          size_t trailer_start = consumed_;
          if (!ReadUntilImpl(fd, index, "\r\n", trailer_start)) return false;
          if (consumed_ - trailer_start == 2) return true;
        }
      }
      if (!ReadBytesImpl(fd, index, consumed_, static_cast<size_t>(size) + 2)) return false;
    }
  }
  if (content_length > 0)
    return ReadBytesImpl(fd, index, consumed_, static_cast<size_t>(content_length));
  return true;
}

void ScriptedServer::Note(size_t index, const std::string& what) {
  std::lock_guard lock(mutex_);
  problems_ += "connection " + std::to_string(index) + ": " + what + "\n";
}

// ---- observation ----------------------------------------------------------

std::string ScriptedServer::Received(size_t connection) const {
  std::lock_guard lock(mutex_);
  return connection < received_.size() ? received_[connection] : std::string();
}

size_t ScriptedServer::Connections() const {
  std::lock_guard lock(mutex_);
  return received_.size();
}

bool ScriptedServer::WaitDone(int timeout_ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return played_ >= scripts_.size(); });
}

bool ScriptedServer::WaitConnections(size_t n, int timeout_ms) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                           [&] { return received_.size() >= n; });
}

std::string ScriptedServer::Problems() const {
  std::lock_guard lock(mutex_);
  return problems_;
}

}  // namespace movrek::test
