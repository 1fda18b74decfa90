#include "tests/helpers/answering_name_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <utility>

#include "tests/helpers/silent_name_server.h"

namespace movrek::test {
namespace {

constexpr int kTypeA = 1;
constexpr int kTypeAaaa = 28;

void PutShort(std::string& out, int value) {
  out += static_cast<char>((value >> 8) & 0xff);
  out += static_cast<char>(value & 0xff);
}

int ShortAt(const std::string& text, std::size_t at) {
  return (static_cast<unsigned char>(text[at]) << 8) | static_cast<unsigned char>(text[at + 1]);
}

// The question's name in dotted lower case and where the question ends;
// npos when the query is malformed.
std::size_t ReadName(const std::string& query, std::string& name) {
  std::size_t at = 12;
  while (at < query.size() && query[at] != 0) {
    const auto length = static_cast<unsigned char>(query[at]);
    if (length > 63 || at + 1 + length >= query.size()) return std::string::npos;
    if (!name.empty()) name += '.';
    for (std::size_t i = 0; i < length; ++i) {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(query[at + 1 + i])));
    }
    at += 1 + length;
  }
  return at + 5 <= query.size() ? at + 5 : std::string::npos;  // the 0, type and class
}

}  // namespace

AnsweringNameServer::AnsweringNameServer(std::map<std::string, std::vector<std::string>> table)
    : table_(std::move(table)), fd_(LoopbackUdpSocket(0, port_)) {
  thread_ = std::thread([this] { Serve(); });
}

AnsweringNameServer::~AnsweringNameServer() {
  stopping_.store(true);
  thread_.join();
  ::close(fd_);
}

std::string AnsweringNameServer::Address() const {
  return "127.0.0.1:" + std::to_string(port_);
}

void AnsweringNameServer::Serve() {
  while (!stopping_.load()) {
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, 20) <= 0) continue;
    char buffer[512];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t got =
        ::recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (got < 12) continue;
    const std::string answer = Answer(std::string(buffer, static_cast<std::size_t>(got)));
    ::sendto(fd_, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), length);
  }
}

std::string AnsweringNameServer::Answer(const std::string& query) const {
  std::string name;
  const std::size_t end = ReadName(query, name);
  if (end == std::string::npos) return std::string();
  const int type = ShortAt(query, end - 4);
  const auto found = table_.find(name);
  std::vector<std::string> records;
  if (found != table_.end()) {
    for (const std::string& address : found->second) {
      unsigned char raw[16];
      const bool v6 = address.find(':') != std::string::npos;
      if ((type == kTypeAaaa) == v6 &&
          ::inet_pton(v6 ? AF_INET6 : AF_INET, address.c_str(), raw) == 1) {
        records.emplace_back(reinterpret_cast<char*>(raw), v6 ? 16 : 4);
      }
    }
  }
  std::string out = query.substr(0, 2);                    // the query's id
  PutShort(out, found == table_.end() ? 0x8183 : 0x8180);  // answer, recursion; NXDOMAIN or not
  PutShort(out, 1);
  PutShort(out, static_cast<int>(records.size()));
  PutShort(out, 0);
  PutShort(out, 0);
  out += query.substr(12, end - 12);
  for (const std::string& rdata : records) {
    PutShort(out, 0xc00c);  // the name of the question
    PutShort(out, type);
    PutShort(out, 1);  // IN
    PutShort(out, 0);
    PutShort(out, 60);  // TTL
    PutShort(out, static_cast<int>(rdata.size()));
    out += rdata;
  }
  return out;
}

}  // namespace movrek::test
