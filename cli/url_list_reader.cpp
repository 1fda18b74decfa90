#include "cli/url_list_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/cli_limits.h"
#include "engine/pipeline/pipeline_limits.h"
#include "html/text_file.h"
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

}  // namespace

void TUrlListReader::Feed(std::string_view bytes) {
  if (!started_) {
    started_ = true;
    // The window drops the mark a UTF-8 editor puts first; here it would
    // become part of the first address.
    if (bytes.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
      bytes.remove_prefix(kUtf8ByteOrderMark.size());
    }
  }
  const char* at = bytes.data();
  const char* const end = at + bytes.size();
  while (at < end) {
    if (after_cr_) {
      after_cr_ = false;
      if (*at == '\n') {
        ++at;
        continue;
      }
    }
    const char* hit = FindFirstOf2(at, end, '\r', '\n');
    Take(std::string_view(at, static_cast<std::size_t>(hit - at)));
    if (hit == end) {
      break;
    }
    after_cr_ = *hit == '\r';
    EndLine();
    at = hit + 1;
  }
}

void TUrlListReader::Take(std::string_view part) {
  if (part.empty()) {
    return;
  }
  nul_ = nul_ || std::memchr(part.data(), '\0', part.size()) != nullptr;
  // Only what fits a usable line is kept; the rest of a huge line is counted.
  line_.append(part.substr(0, kMaxUrlLineBytes - std::min(line_.size(), kMaxUrlLineBytes)));
  line_bytes_ += part.size();
}

void TUrlListReader::EndLine() {
  ++line_number_;
  if (nul_) {
    list_.Refused.push_back({line_number_, ShownPart(line_, line_bytes_), "NUL byte in address"});
  } else if (line_bytes_ > kMaxUrlLineBytes) {
    list_.Refused.push_back({line_number_, ShownPart(line_, line_bytes_), TooLongReason()});
  } else if (line_.size() >= kMinUrlLineBytes && !TrimControls(line_).empty()) {
    list_.Urls.push_back(std::move(line_));
    list_.LineNumbers.push_back(line_number_);
  }
  line_.clear();
  line_bytes_ = 0;
  nul_ = false;
}

TUrlList TUrlListReader::Finish() {
  // A last line without a line end still counts; a line end closes the list.
  if (line_bytes_ > 0) {
    EndLine();
  }
  return std::move(list_);
}

TUrlList ReadUrlList(const std::function<std::size_t(char*, std::size_t)>& read) {
  TUrlListReader reader;
  std::string block(kUrlListReadBlockBytes, '\0');
  for (;;) {
    // A block is filled before it is fed, so that the byte order mark is
    // seen whole even when a pipe hands the list over a byte at a time.
    std::size_t used = 0;
    while (used < block.size()) {
      const std::size_t got = read(block.data() + used, block.size() - used);
      if (got == 0) {
        break;
      }
      used += got;
    }
    reader.Feed(std::string_view(block.data(), used));
    if (used < block.size()) {
      break;
    }
  }
  return reader.Finish();
}

TUrlList ReadUrlListFile(const std::string& file) {
  if (!file.empty() && file != "-") {
    TReadableFile input(file);
    return ReadUrlList([&input](char* data, std::size_t size) { return input.Read(data, size); });
  }
  return ReadUrlList([](char* data, std::size_t size) {
    for (;;) {
      const ssize_t got = ::read(STDIN_FILENO, data, size);
      if (got >= 0) {
        return static_cast<std::size_t>(got);
      }
      if (errno != EINTR) {
        throw std::runtime_error("cannot read standard input: " +
                                 std::string(std::strerror(errno)));
      }
    }
  });
}

}  // namespace movrek::cli
