#include "cli/url_list_reader.h"

#include <algorithm>
#include <cstring>

#include "cli/cli_limits.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/process_url.h"
#include "net/base/web_url.h"
#include "text/ascii_text.h"
#include "text/printable_text.h"

namespace movrek::cli {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// The start of a refused line as messages show it.
std::string ShownPart(const std::string& kept, std::size_t fullBytes) {
  std::string shown = PrintableText(std::string_view(kept).substr(0, kMaxShownLineBytes));
  if (fullBytes > std::min(kept.size(), kMaxShownLineBytes)) {
    shown += "...";
  }
  return shown;
}

std::string TooLongReason() {
  return "line longer than " + std::to_string(kMaxUrlLineBytes) + " bytes";
}

constexpr bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The scheme the line starts with (RFC 3986 section 3.1), or empty. A name
// followed by a port ("localhost:8080/") is a host, not a scheme.
std::string_view SchemeOf(std::string_view line) {
  if (line.empty() || !IsLetter(line[0])) {
    return {};
  }
  std::size_t end = 1;
  while (end < line.size() && (IsLetter(line[end]) || IsDigit(line[end]) || line[end] == '+' ||
                               line[end] == '-' || line[end] == '.')) {
    ++end;
  }
  if (end >= line.size() || line[end] != ':') {
    return {};
  }
  const bool port_follows = end + 1 >= line.size() || IsDigit(line[end + 1]);
  return port_follows ? std::string_view() : line.substr(0, end);
}

}  // namespace

std::string AddressProblem(std::string_view line) {
  const std::string_view trimmed = TrimControls(line);
  const std::string scheme = AsciiLower(std::string(SchemeOf(trimmed)));
  if (!scheme.empty() && scheme != "http" && scheme != "https") {
    return "unsupported scheme \"" + ShownPart(scheme, scheme.size()) + "\"";
  }
  const std::optional<TWebUrl> url = ParseWebUrl(NormaliseAddress(std::string(trimmed)));
  if (!url || !url->HasHost || url->Host().empty()) {
    return "not a valid URL";
  }
  return std::string();
}

void TUrlListReader::Feed(std::string_view bytes) {
  if (started_) {
    FeedLines(bytes);
    return;
  }
  // The window drops the mark a UTF-8 editor puts first; here it would
  // become part of the first address. A pipe may bring it a byte at a time.
  const std::size_t wanted = kUtf8ByteOrderMark.size() - first_bytes_.size();
  first_bytes_.append(bytes.substr(0, wanted));
  bytes.remove_prefix(std::min(wanted, bytes.size()));
  const bool undecided = first_bytes_.size() < kUtf8ByteOrderMark.size() &&
                         kUtf8ByteOrderMark.substr(0, first_bytes_.size()) == first_bytes_;
  if (undecided) {
    return;
  }
  started_ = true;
  if (first_bytes_ != kUtf8ByteOrderMark) {
    FeedLines(first_bytes_);
  }
  FeedLines(bytes);
}

void TUrlListReader::FeedLines(std::string_view bytes) {
  splitter_.Feed(
      bytes, [this](std::string_view part) { Append(part); },
      [this] {
        EndLine();
        return true;
      });
}

void TUrlListReader::Append(std::string_view part) {
  nul_ = nul_ || std::memchr(part.data(), '\0', part.size()) != nullptr;
  if (count_only_) {
    // A count needs no copy: the first character that is no blank tells
    // a comment or a blank line.
    for (std::size_t i = 0; first_shown_ == '\0' && i < part.size(); ++i) {
      first_shown_ = IsBlankOrControl(part[i]) ? '\0' : part[i];
    }
    line_bytes_ += part.size();
    return;
  }
  // Only what fits a usable line is kept; the rest of a huge line is counted.
  line_.append(part.substr(0, kMaxUrlLineBytes - std::min(line_.size(), kMaxUrlLineBytes)));
  line_bytes_ += part.size();
}

bool TUrlListReader::Ignored() const {
  if (nul_ || line_bytes_ > kMaxUrlLineBytes) {
    return false;
  }
  if (count_only_) {
    return line_bytes_ < kMinUrlLineBytes || first_shown_ == '\0' || first_shown_ == '#';
  }
  const std::string_view text = TrimControls(line_);
  return line_.size() < kMinUrlLineBytes || text.empty() || text[0] == '#';
}

void TUrlListReader::EndLine() {
  ++line_number_;
  if (!Ignored()) {
    ++counted_;
    if (!count_only_) {
      TListLine line{line_number_, std::move(line_), std::string(), std::string()};
      if (nul_) {
        line.Reason = "NUL byte in address";
      } else if (line_bytes_ > kMaxUrlLineBytes) {
        line.Reason = TooLongReason();
      } else {
        line.Reason = AddressProblem(line.Text);
      }
      if (!line.Reason.empty()) {
        line.Shown = ShownPart(line.Text, line_bytes_);
      }
      ready_.push_back(std::move(line));
    }
  }
  line_.clear();
  line_bytes_ = 0;
  nul_ = false;
  first_shown_ = '\0';
}

void TUrlListReader::Finish() {
  if (!started_) {
    started_ = true;
    FeedLines(first_bytes_);
  }
  // A line end closes the list; the bytes after the last one are a line.
  if (line_bytes_ > 0) {
    EndLine();
  }
}

std::optional<TListLine> TUrlListReader::Take() {
  if (ready_.empty()) {
    return std::nullopt;
  }
  TListLine line = std::move(ready_.front());
  ready_.pop_front();
  return line;
}

}  // namespace movrek::cli
