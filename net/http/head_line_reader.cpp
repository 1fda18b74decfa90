#include "net/http/head_line_reader.h"

#include "net/base/winsock_errors.h"
#include "net/http/http_limits.h"

namespace movrek {

THeadLineReader::THeadLineReader(TBlockSocket& socket, std::int32_t timeoutMs)
    : socket_(socket), timeoutMs_(timeoutMs) {}

bool THeadLineReader::ReceiveHeadLine(std::string& line) {
  line = socket_.ReceiveLine(timeoutMs_);
  if (socket_.LastErrorCode != 0) {
    return false;
  }
  headBytes_ += line.size() + 2;
  if (!WithinBound()) {
    socket_.LastErrorCode = WSAENOBUFS;
    socket_.LastErrorText = TBlockSocket::GetErrorDesc(WSAENOBUFS);
    return false;
  }
  return true;
}

bool THeadLineReader::ReceiveStatusLine(std::string& line) {
  while (ReceiveHeadLine(line) && line.empty()) {
  }
  return socket_.LastErrorCode == 0;
}

void THeadLineReader::ReceiveHeaderLines(std::vector<std::string>& lines) {
  std::string line;
  while (socket_.LastErrorCode == 0 && ReceiveHeadLine(line)) {
    lines.push_back(line);
    if (line.empty()) {
      break;
    }
  }
}

bool THeadLineReader::WithinBound() const {
  return headBytes_ <= kMaxHeadBytes;
}

}  // namespace movrek
