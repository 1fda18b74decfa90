#include "net/http/http_line_splitter.h"

namespace movrek {

std::size_t THttpLineSplitter::DropPartner(std::string_view bytes) {
  if (partner_ == 0 || bytes.empty()) {
    return 0;
  }
  const bool dropped = bytes.front() == partner_;
  partner_ = 0;
  return dropped ? 1 : 0;
}

char THttpLineSplitter::TakePendingPartner() {
  const char partner = partner_;
  partner_ = 0;
  return partner;
}

THttpLineSplitter::TStatus THttpLineSplitter::Take(std::string_view bytes, std::size_t& consumed) {
  if (complete_) {
    line_.clear();
    complete_ = false;
  }
  consumed = DropPartner(bytes);
  const std::string_view rest = bytes.substr(consumed);
  const std::size_t end = rest.find_first_of("\r\n");
  const std::size_t content = end == std::string_view::npos ? rest.size() : end;
  // The bound holds for the line alone once its end is known, else for all
  // that was gathered looking for it.
  if (content > maxLine_ || line_.size() + content > maxLine_) {
    line_.append(rest.substr(0, content));
    consumed += content;
    return TStatus::TooLong;
  }
  line_.append(rest.substr(0, content));
  if (end == std::string_view::npos) {
    consumed += content;
    return TStatus::More;
  }
  const char other = rest[end] == '\r' ? '\n' : '\r';
  consumed += end + 1;
  if (end + 1 == rest.size()) {
    partner_ = other;
  } else if (rest[end + 1] == other) {
    ++consumed;
  }
  complete_ = true;
  return TStatus::Line;
}

}  // namespace movrek
