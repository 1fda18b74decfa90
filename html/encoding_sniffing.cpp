#include "html/encoding_sniffing.h"

#include <algorithm>
#include <string>
#include <utility>

#include "html/encoding_labels.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

constexpr std::size_t kPrescanBytes = 1024;

bool IsSpace(char c) {
  return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}
bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool StartsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word) {
  return SameTextIgnoringCase(text.substr(at, word.size()), word);
}

struct TAttribute {
  std::string Name;
  std::string Value;
};

// The prescan's "get an attribute": names and values lower-cased. False at
// the end of the tag or, as the prescan then stops, of the bytes.
class TPrescan {
 public:
  explicit TPrescan(std::string_view bytes) : bytes_(bytes) {}
  std::string_view Run();

 private:
  [[nodiscard]] bool AtEnd() const { return at_ >= bytes_.size(); }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(bytes_[at_])) {
      ++at_;
    }
  }
  bool GetAttribute(TAttribute& attribute);
  bool ReadName(TAttribute& attribute);
  bool ReadValue(TAttribute& attribute);
  std::string_view MetaEncoding();
  void SkipTag();

  std::string_view bytes_;
  std::size_t at_ = 0;
};

bool TPrescan::GetAttribute(TAttribute& attribute) {
  while (!AtEnd() && (IsSpace(bytes_[at_]) || bytes_[at_] == '/')) {
    ++at_;
  }
  // Cleared, not replaced: the strings keep their room for the next one.
  attribute.Name.clear();
  attribute.Value.clear();
  if (AtEnd() || bytes_[at_] == '>') {
    return false;
  }
  if (!ReadName(attribute)) {
    return false;
  }
  SkipSpace();
  if (AtEnd()) {
    return false;
  }
  if (bytes_[at_] != '=') {
    return true;
  }
  ++at_;
  SkipSpace();
  return ReadValue(attribute);
}

// The bytes [from, to) lower-cased after `out`: a run is taken at
// once, not byte by byte.
void AppendLowered(std::string_view bytes, std::size_t from, std::size_t to, std::string& out) {
  const std::size_t start = out.size();
  out.append(bytes.substr(from, to - from));
  for (std::size_t i = start; i < out.size(); ++i) {
    out[i] = AsciiLowerChar(out[i]);
  }
}

// The name up to "=", white space, "/" or ">"; a first "=" belongs to it.
bool TPrescan::ReadName(TAttribute& attribute) {
  const std::size_t from = at_;
  for (; !AtEnd(); ++at_) {
    const char c = bytes_[at_];
    if ((c == '=' && at_ > from) || IsSpace(c) || c == '/' || c == '>') {
      AppendLowered(bytes_, from, at_, attribute.Name);
      return true;
    }
  }
  AppendLowered(bytes_, from, at_, attribute.Name);
  return false;
}

bool TPrescan::ReadValue(TAttribute& attribute) {
  if (AtEnd()) {
    return false;
  }
  if (bytes_[at_] == '"' || bytes_[at_] == '\'') {
    const char quote = bytes_[at_++];
    const std::size_t close = std::min(bytes_.find(quote, at_), bytes_.size());
    AppendLowered(bytes_, at_, close, attribute.Value);
    at_ = close;
    if (AtEnd()) {
      return false;
    }
    ++at_;
    return true;
  }
  const std::size_t from = at_;
  while (!AtEnd() && !IsSpace(bytes_[at_]) && bytes_[at_] != '>') {
    ++at_;
  }
  AppendLowered(bytes_, from, at_, attribute.Value);
  return !AtEnd();
}

// The attributes of a <meta> tag, from after its name; the encoding it
// declares, or empty.
std::string_view TPrescan::MetaEncoding() {
  bool seen_http_equiv = false;
  bool seen_content = false;
  bool seen_charset = false;
  bool got_pragma = false;
  enum { kNone, kNeeded, kNotNeeded } need_pragma = kNone;
  bool charset_set = false;  // perhaps to an unknown label
  std::string_view charset;
  TAttribute attribute;
  while (GetAttribute(attribute)) {
    // Only the first of several attributes with one name counts.
    if (attribute.Name == "http-equiv" && !std::exchange(seen_http_equiv, true)) {
      got_pragma = attribute.Value == "content-type";
    } else if (attribute.Name == "content" && !std::exchange(seen_content, true)) {
      if (!charset_set) {
        charset = EncodingOfMetaContent(attribute.Value);
        if (!charset.empty()) {
          charset_set = true;
          need_pragma = kNeeded;
        }
      }
    } else if (attribute.Name == "charset" && !std::exchange(seen_charset, true)) {
      charset = EncodingOfLabel(attribute.Value);
      charset_set = true;
      need_pragma = kNotNeeded;
    }
  }
  if (need_pragma == kNone || (need_pragma == kNeeded && !got_pragma) || charset.empty()) {
    return {};
  }
  // A page that could be read this far is no UTF-16 page, and the
  // user-defined encoding is no declaration a page can make.
  if (charset == "UTF-16BE" || charset == "UTF-16LE") {
    return "UTF-8";
  }
  if (charset == "x-user-defined") {
    return "windows-1252";
  }
  return charset;
}

void TPrescan::SkipTag() {
  while (!AtEnd() && !IsSpace(bytes_[at_]) && bytes_[at_] != '>') {
    ++at_;
  }
  TAttribute attribute;
  while (GetAttribute(attribute)) {
  }
}

std::string_view TPrescan::Run() {
  for (; !AtEnd(); ++at_) {
    // Each step starts at a "<": the bytes up to the next one are passed over
    // at once instead of being tried as the start of every step.
    at_ = std::min(bytes_.find('<', at_), bytes_.size());
    if (AtEnd()) {
      break;
    }
    if (bytes_.compare(at_, 4, "<!--") == 0) {
      const std::size_t end = bytes_.find("-->", at_ + 2);
      if (end == std::string_view::npos) {
        return {};
      }
      at_ = end + 2;
    } else if (StartsWithIgnoringCase(bytes_, at_, "<meta") && at_ + 5 < bytes_.size() &&
               (IsSpace(bytes_[at_ + 5]) || bytes_[at_ + 5] == '/')) {
      at_ += 6;
      if (const std::string_view found = MetaEncoding(); !found.empty()) {
        return found;
      }
    } else if (bytes_[at_] == '<' && at_ + 1 < bytes_.size() &&
               (IsAsciiLetter(bytes_[at_ + 1]) ||
                (bytes_[at_ + 1] == '/' && at_ + 2 < bytes_.size() &&
                 IsAsciiLetter(bytes_[at_ + 2])))) {
      SkipTag();
    } else if (bytes_[at_] == '<' && at_ + 1 < bytes_.size() &&
               (bytes_[at_ + 1] == '!' || bytes_[at_ + 1] == '/' || bytes_[at_ + 1] == '?')) {
      const std::size_t end = bytes_.find('>', at_ + 2);
      if (end == std::string_view::npos) {
        return {};
      }
      at_ = end;
    }
    if (AtEnd()) {
      break;
    }
  }
  return {};
}

}  // namespace

std::string_view EncodingOfMetaContent(std::string_view content) {
  std::size_t at = 0;
  for (;;) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = at; i + 7 <= content.size(); ++i) {
      if (StartsWithIgnoringCase(content, i, "charset")) {
        found = i;
        break;
      }
    }
    if (found == std::string_view::npos) {
      return {};
    }
    at = found + 7;
    while (at < content.size() && IsSpace(content[at])) {
      ++at;
    }
    if (at < content.size() && content[at] == '=') {
      break;
    }
  }
  ++at;
  while (at < content.size() && IsSpace(content[at])) {
    ++at;
  }
  if (at >= content.size()) {
    return {};
  }
  if (content[at] == '"' || content[at] == '\'') {
    const std::size_t close = content.find(content[at], at + 1);
    return close == std::string_view::npos
               ? std::string_view()
               : EncodingOfLabel(content.substr(at + 1, close - at - 1));
  }
  std::size_t end = at;
  while (end < content.size() && !IsSpace(content[end]) && content[end] != ';') {
    ++end;
  }
  return EncodingOfLabel(content.substr(at, end - at));
}

std::string_view PrescanForEncoding(std::string_view bytes) {
  return TPrescan(bytes.substr(0, kPrescanBytes)).Run();
}

std::string_view EncodingOfContentType(std::string_view contentType) {
  // RFC 9110 section 8.3.1: type/subtype, then ";"-separated parameters
  // whose value may be a quoted string; the first charset counts.
  std::size_t at = contentType.find(';');
  while (at != std::string_view::npos) {
    ++at;
    while (at < contentType.size() && (contentType[at] == ' ' || contentType[at] == '\t')) {
      ++at;
    }
    const std::size_t end = contentType.find_first_of(";=", at);
    if (end == std::string_view::npos || contentType[end] == ';') {
      at = end;
      continue;
    }
    const bool is_charset = SameTextIgnoringCase(contentType.substr(at, end - at), "charset");
    std::string value;
    at = end + 1;
    if (at < contentType.size() && contentType[at] == '"') {
      for (++at; at < contentType.size() && contentType[at] != '"'; ++at) {
        if (contentType[at] == '\\' && at + 1 < contentType.size()) {
          ++at;
        }
        value += contentType[at];
      }
      at = contentType.find(';', at);
    } else {
      const std::size_t stop = contentType.find(';', at);
      value =
          TrimControls(contentType.substr(at, stop == std::string_view::npos ? stop : stop - at));
      at = stop;
    }
    if (is_charset) {
      return EncodingOfLabel(value);
    }
  }
  return {};
}

TSniffedEncoding SniffEncoding(std::string_view bytes, std::string_view contentType) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return {"UTF-8", 3};
  }
  if (bytes.substr(0, 2) == "\xFE\xFF") {
    return {"UTF-16BE", 2};
  }
  if (bytes.substr(0, 2) == "\xFF\xFE") {
    return {"UTF-16LE", 2};
  }
  if (const std::string_view named = EncodingOfContentType(contentType); !named.empty()) {
    return {named, 0};
  }
  if (const std::string_view declared = PrescanForEncoding(bytes); !declared.empty()) {
    return {declared, 0};
  }
  return {"windows-1252", 0};
}

}  // namespace movrek
