#include "net/base/web_url.h"

#include <algorithm>
#include <array>

#include "net/base/base_limits.h"
#include "net/base/percent_encode_set.h"
#include "net/base/web_url_host.h"
#include "text/ascii_text.h"
#include "text/byte_search.h"
#include "text/utf8_sequence.h"

namespace movrek {
namespace {

constexpr int kEof = -1;

// The states of the standard's parser that a parse without a state override
// passes through. Each consumes what it can of the input and names the next.
enum class TState : std::uint8_t {
  SchemeStart,
  NoScheme,                       // a reference relative to the base
  SpecialRelativeOrAuthority,     // "http:" against an http base: "//" or relative
  PathOrAuthority,                // "foo:/": "//host" or a path
  Relative,                       // parts taken from the base
  RelativeSlash,                  // "/x" or "//host"
  SpecialAuthorityIgnoreSlashes,  // any run of "/" and "\" before a special host
  Authority,                      // credentials, host and port
  File,
  FileSlash,
  FileHost,
  PathStart,
  Path,
  OpaquePath,  // "mailto:", "javascript:" and the like
  Query,
  Fragment,
  Done,
  Failure,
};

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSchemeChar(char c) {
  return IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool IsSpecialScheme(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "ws" || scheme == "wss" ||
         scheme == "ftp" || scheme == "file";
}

int DefaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") {
    return 80;
  }
  if (scheme == "https" || scheme == "wss") {
    return 443;
  }
  if (scheme == "ftp") {
    return 21;
  }
  return -1;
}

bool IsWindowsDriveLetter(std::string_view text) {
  return text.size() == 2 && IsAsciiAlpha(text[0]) && (text[1] == ':' || text[1] == '|');
}

bool IsNormalizedDriveLetter(std::string_view text) {
  return IsWindowsDriveLetter(text) && text[1] == ':';
}

bool StartsWithWindowsDriveLetter(std::string_view text) {
  return text.size() >= 2 && IsWindowsDriveLetter(text.substr(0, 2)) &&
         (text.size() == 2 || std::string_view("/\\?#").find(text[2]) != std::string_view::npos);
}

bool IsSingleDot(std::string_view segment) {
  return segment == "." || SameTextIgnoringCase(segment, "%2e");
}

bool IsDoubleDot(std::string_view segment) {
  return segment == ".." || SameTextIgnoringCase(segment, ".%2e") ||
         SameTextIgnoringCase(segment, "%2e.") || SameTextIgnoringCase(segment, "%2e%2e");
}

bool MayBeDotSegment(std::string_view segment) {
  return !segment.empty() && segment.size() <= 6 && (segment[0] == '.' || segment[0] == '%');
}

std::uint32_t PathEnd(const TWebUrl& url) {
  if (url.QueryStart != TWebUrl::kNone) {
    return url.QueryStart;
  }
  if (url.FragmentStart != TWebUrl::kNone) {
    return url.FragmentStart;
  }
  return static_cast<std::uint32_t>(url.Href.size());
}

std::uint32_t QueryEnd(const TWebUrl& url) {
  return url.FragmentStart != TWebUrl::kNone ? url.FragmentStart
                                             : static_cast<std::uint32_t>(url.Href.size());
}

// Bytes a path segment keeps as they are, "\\" aside (a slash of special
// URLs).
constexpr std::array<bool, 256> kPlainPathBytes = [] {
  std::array<bool, 256> plain{};
  for (int b = 0x21; b < 0x7F; ++b) {
    plain[static_cast<std::size_t>(b)] = true;
  }
  for (const char c : std::string_view("\"#<>?`{}\\")) {
    plain[static_cast<unsigned char>(c)] = false;
  }
  return plain;
}();

// A tab or line break anywhere, or bytes that are no UTF-8, make the input
// need a cleaned copy; most hrefs need none.
bool NeedsCleaning(std::string_view text) {
  // Printable ASCII needs nothing, and it is most of every href.
  std::size_t i = 0;
  while (i + 16 <= text.size() && AllPrintableAscii(text.data() + i, text.data() + i + 16)) {
    i += 16;
  }
  for (; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte > '\r' && byte < 0x80) {
      continue;
    }
    if (byte == '\t' || byte == '\n' || byte == '\r') {
      return true;
    }
    if (byte >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text.substr(i));
      if (length == 0) {
        return true;
      }
      i += length - 1;
    }
  }
  return false;
}

// Tabs and line breaks dropped, as browsers drop them; a byte that starts no
// UTF-8 sequence becomes U+FFFD, as decoding the page would have made it.
std::string CleanInput(std::string_view text) {
  std::string cleaned;
  cleaned.reserve(text.size());
  while (!text.empty()) {
    const char c = text[0];
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      cleaned += "\xEF\xBF\xBD";
    } else if (c != '\t' && c != '\n' && c != '\r') {
      cleaned.append(text.data(), length);
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return cleaned;
}

// The query's bytes in the page's encoding, escaped byte by byte. A
// character the encoding lacks arrives as "&#N;" and goes out as
// "%26%23N%3B", as browsers send it; the runs handed to the encoder hold no
// ASCII, so any "&#" in its output stands for such a character.
void AppendEncoderOutput(std::string_view bytes, TEncodeSet set, std::string& out) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes.substr(i, 2) == "&#") {
      std::size_t digitsEnd = i + 2;
      while (digitsEnd < bytes.size() && bytes[digitsEnd] >= '0' && bytes[digitsEnd] <= '9') {
        ++digitsEnd;
      }
      if (digitsEnd > i + 2 && digitsEnd < bytes.size() && bytes[digitsEnd] == ';') {
        out += "%26%23";
        out += bytes.substr(i + 2, digitsEnd - i - 2);
        out += "%3B";
        i = digitsEnd;
        continue;
      }
    }
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (InEncodeSet(byte, set)) {
      AppendPercentByte(byte, out);
    } else {
      out += bytes[i];
    }
  }
}

class TWebUrlParser {
 public:
  TWebUrlParser(std::string_view input, const TWebUrl* base, const TQueryEncoder* encoder,
                TWebUrl& url)
      : in_(input), base_(base), encoder_(encoder), url_(url), out_(url.Href) {}

  bool Run();

 private:
  int Peek(std::size_t ahead = 0) const {
    return p_ + ahead < in_.size() ? static_cast<unsigned char>(in_[p_ + ahead]) : kEof;
  }
  bool IsSlash(int c) const { return c == '/' || (url_.Special && c == '\\'); }
  bool IsFile() const { return isFile_; }
  bool BaseIsFile() const { return base_ != nullptr && base_->Scheme() == "file"; }

  TState Step(TState state);
  TState SchemeStart();
  TState AfterScheme();
  TState NoScheme();
  TState Relative();
  TState RelativeSlash();
  TState Authority();
  TState Host(std::size_t end);
  TState Port(std::size_t end);
  TState File();
  TState FileSlash();
  TState FileHost();
  TState PathStart();
  TState Path();
  bool PlainPath();
  TState OpaquePath();
  TState Query();
  TState Fragment();

  void WriteScheme(std::string_view scheme);
  void CopyBaseScheme();
  void CopyBaseAuthority();
  void CopyBasePath();
  void CopyBaseQuery();
  void BeginHost();
  void EndAuthority();
  void ShortenPath();
  void AppendEncodedQuery(std::string_view text, TEncodeSet set);
  void Finish();

  std::string_view in_;
  std::size_t p_ = 0;
  const TWebUrl* base_;
  const TQueryEncoder* encoder_;
  TWebUrl& url_;
  std::string& out_;
  int pathSegments_ = 0;
  bool isFile_ = false;
};

bool TWebUrlParser::Run() {
  TState state = TState::SchemeStart;
  while (state != TState::Done) {
    if (state == TState::Failure) {
      return false;
    }
    state = Step(state);
  }
  Finish();
  return true;
}

TState TWebUrlParser::Step(TState state) {
  switch (state) {
    case TState::SchemeStart:
      return SchemeStart();
    case TState::NoScheme:
      return NoScheme();
    case TState::SpecialRelativeOrAuthority:
      if (Peek() == '/' && Peek(1) == '/') {
        p_ += 2;
        return TState::SpecialAuthorityIgnoreSlashes;
      }
      return TState::Relative;
    case TState::PathOrAuthority:
      if (Peek() == '/') {
        ++p_;
        return TState::Authority;
      }
      EndAuthority();
      return TState::Path;
    case TState::Relative:
      return Relative();
    case TState::RelativeSlash:
      return RelativeSlash();
    case TState::SpecialAuthorityIgnoreSlashes:
      while (Peek() == '/' || Peek() == '\\') {
        ++p_;
      }
      return TState::Authority;
    case TState::Authority:
      return Authority();
    case TState::File:
      return File();
    case TState::FileSlash:
      return FileSlash();
    case TState::FileHost:
      return FileHost();
    case TState::PathStart:
      return PathStart();
    case TState::Path:
      return Path();
    case TState::OpaquePath:
      return OpaquePath();
    case TState::Query:
      return Query();
    case TState::Fragment:
      return Fragment();
    case TState::Done:
    case TState::Failure:
      break;
  }
  return state;
}

void TWebUrlParser::WriteScheme(std::string_view scheme) {
  out_.assign(scheme);
  url_.SchemeEnd = static_cast<std::uint32_t>(scheme.size());
  out_ += ':';
  url_.Special = IsSpecialScheme(scheme);
  isFile_ = scheme == "file";
  url_.UsernameEnd = url_.HostStart = url_.HostEnd = url_.AuthorityEnd = url_.PathStart =
      url_.SchemeEnd + 1;
}

TState TWebUrlParser::SchemeStart() {
  std::size_t end = 0;
  if (!in_.empty() && IsAsciiAlpha(in_[0])) {
    end = 1;
    while (end < in_.size() && IsSchemeChar(in_[end])) {
      ++end;
    }
  }
  if (end == 0 || end == in_.size() || in_[end] != ':') {
    return TState::NoScheme;
  }
  std::string scheme(in_.substr(0, end));
  for (char& c : scheme) {
    c = AsciiLowerChar(c);
  }
  WriteScheme(scheme);
  p_ = end + 1;
  return AfterScheme();
}

TState TWebUrlParser::AfterScheme() {
  if (IsFile()) {
    return TState::File;
  }
  if (url_.Special) {
    return base_ != nullptr && base_->Scheme() == url_.Scheme()
               ? TState::SpecialRelativeOrAuthority
               : TState::SpecialAuthorityIgnoreSlashes;
  }
  if (Peek() == '/') {
    ++p_;
    return TState::PathOrAuthority;
  }
  url_.OpaquePath = true;
  return TState::OpaquePath;
}

TState TWebUrlParser::NoScheme() {
  if (base_ == nullptr || (base_->OpaquePath && Peek() != '#')) {
    return TState::Failure;
  }
  if (base_->OpaquePath) {
    // "#x" against "mailto:a": the base with another fragment.
    std::string href = std::move(out_);
    href.assign(base_->Href, 0, QueryEnd(*base_));
    url_ = *base_;
    url_.Href = std::move(href);
    url_.FragmentStart = TWebUrl::kNone;
    ++p_;
    return TState::Fragment;
  }
  return BaseIsFile() ? TState::File : TState::Relative;
}

void TWebUrlParser::CopyBaseScheme() {
  WriteScheme(base_->Scheme());
}

// The base has the same scheme, so its offsets hold for the copy as well.
void TWebUrlParser::CopyBaseAuthority() {
  out_.append(base_->Href, url_.SchemeEnd + 1, base_->AuthorityEnd - url_.SchemeEnd - 1);
  url_.UsernameEnd = base_->UsernameEnd;
  url_.HostStart = base_->HostStart;
  url_.HostEnd = base_->HostEnd;
  url_.Port = base_->Port;
  url_.HasHost = base_->HasHost;
  EndAuthority();
}

void TWebUrlParser::CopyBasePath() {
  const std::string_view path = base_->Path();
  out_ += path;
  pathSegments_ = static_cast<int>(std::count(path.begin(), path.end(), '/'));
}

void TWebUrlParser::CopyBaseQuery() {
  if (base_->QueryStart == TWebUrl::kNone) {
    return;
  }
  url_.QueryStart = static_cast<std::uint32_t>(out_.size());
  out_.append(base_->Href, base_->QueryStart, QueryEnd(*base_) - base_->QueryStart);
}

void TWebUrlParser::BeginHost() {
  out_ += "//";
  url_.UsernameEnd = url_.HostStart = url_.HostEnd = static_cast<std::uint32_t>(out_.size());
  url_.HasHost = true;
}

void TWebUrlParser::EndAuthority() {
  url_.AuthorityEnd = url_.PathStart = static_cast<std::uint32_t>(out_.size());
}

TState TWebUrlParser::Relative() {
  CopyBaseScheme();
  const int c = Peek();
  if (IsSlash(c)) {
    ++p_;
    return TState::RelativeSlash;
  }
  CopyBaseAuthority();
  CopyBasePath();
  if (c == '?') {
    ++p_;
    return TState::Query;
  }
  if (c == kEof || c == '#') {
    CopyBaseQuery();
    p_ += c == '#' ? 1 : 0;
    return c == '#' ? TState::Fragment : TState::Done;
  }
  ShortenPath();
  return TState::Path;
}

TState TWebUrlParser::RelativeSlash() {
  const int c = Peek();
  if (url_.Special && (c == '/' || c == '\\')) {
    ++p_;
    return TState::SpecialAuthorityIgnoreSlashes;
  }
  if (c == '/') {
    ++p_;
    return TState::Authority;
  }
  CopyBaseAuthority();
  return TState::Path;
}

// Credentials end at the last "@" of the authority; the user name at the
// first ":" of them.
TState TWebUrlParser::Authority() {
  std::size_t end = p_;
  while (end < in_.size() && in_[end] != '?' && in_[end] != '#' && !IsSlash(in_[end])) {
    ++end;
  }
  BeginHost();
  const std::size_t at = in_.substr(p_, end - p_).rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = in_.substr(p_, at);
    const std::size_t colon = credentials.find(':');
    AppendPercentEncoded(credentials.substr(0, colon), TEncodeSet::Userinfo, out_);
    url_.UsernameEnd = static_cast<std::uint32_t>(out_.size());
    if (colon != std::string_view::npos && colon + 1 < credentials.size()) {
      out_ += ':';
      AppendPercentEncoded(credentials.substr(colon + 1), TEncodeSet::Userinfo, out_);
    }
    if (out_.size() > url_.HostStart) {
      out_ += '@';
    }
    url_.HostStart = url_.HostEnd = static_cast<std::uint32_t>(out_.size());
    p_ += at + 1;
    if (p_ == end) {
      return TState::Failure;
    }
  }
  return Host(end);
}

TState TWebUrlParser::Host(std::size_t end) {
  std::size_t hostEnd = p_;
  bool insideBrackets = false;
  for (; hostEnd < end; ++hostEnd) {
    const char c = in_[hostEnd];
    if (c == ':' && !insideBrackets) {
      break;
    }
    if (c == '[') {
      insideBrackets = true;
    }
    if (c == ']') {
      insideBrackets = false;
    }
  }
  const std::string_view host = in_.substr(p_, hostEnd - p_);
  if (host.empty() && (hostEnd < end || url_.Special)) {
    return TState::Failure;
  }
  if (!AppendWebUrlHost(host, url_.Special, out_)) {
    return TState::Failure;
  }
  url_.HostEnd = static_cast<std::uint32_t>(out_.size());
  p_ = hostEnd;
  return Port(end);
}

// Digits only; a port the scheme uses anyway is dropped.
TState TWebUrlParser::Port(std::size_t end) {
  if (p_ < end) {
    long value = -1;
    for (const char c : in_.substr(p_ + 1, end - p_ - 1)) {
      if (c < '0' || c > '9') {
        return TState::Failure;
      }
      value = (value < 0 ? 0 : value * 10) + (c - '0');
      if (value > 65535) {
        return TState::Failure;
      }
    }
    if (value >= 0 && value != DefaultPort(url_.Scheme())) {
      url_.Port = static_cast<std::int32_t>(value);
      out_ += ':';
      out_ += std::to_string(value);
    }
  }
  p_ = end;
  EndAuthority();
  return TState::PathStart;
}

TState TWebUrlParser::File() {
  WriteScheme("file");
  const int c = Peek();
  if (c == '/' || c == '\\') {
    ++p_;
    return TState::FileSlash;
  }
  if (!BaseIsFile()) {
    BeginHost();
    EndAuthority();
    return TState::Path;
  }
  CopyBaseAuthority();
  CopyBasePath();
  if (c == '?') {
    ++p_;
    return TState::Query;
  }
  if (c == kEof || c == '#') {
    CopyBaseQuery();
    p_ += c == '#' ? 1 : 0;
    return c == '#' ? TState::Fragment : TState::Done;
  }
  if (StartsWithWindowsDriveLetter(in_.substr(p_))) {
    out_.resize(url_.PathStart);
    pathSegments_ = 0;
  } else {
    ShortenPath();
  }
  return TState::Path;
}

// "file:/x" against a file base keeps the base's host, and its drive letter
// unless the input names one.
TState TWebUrlParser::FileSlash() {
  const int c = Peek();
  if (c == '/' || c == '\\') {
    ++p_;
    return TState::FileHost;
  }
  if (!BaseIsFile()) {
    BeginHost();
    EndAuthority();
    return TState::Path;
  }
  CopyBaseAuthority();
  const std::string_view basePath = base_->Path();
  const std::string_view first =
      basePath.empty() ? basePath : basePath.substr(1, basePath.find('/', 1) - 1);
  if (!StartsWithWindowsDriveLetter(in_.substr(p_)) && IsNormalizedDriveLetter(first)) {
    out_ += '/';
    out_ += first;
    pathSegments_ = 1;
  }
  return TState::Path;
}

// "file://C|/x" names a drive, not a host: the letters are read again as the
// first path segment.
TState TWebUrlParser::FileHost() {
  std::size_t end = p_;
  while (end < in_.size() && std::string_view("/\\?#").find(in_[end]) == std::string_view::npos) {
    ++end;
  }
  const std::string_view host = in_.substr(p_, end - p_);
  BeginHost();
  if (IsWindowsDriveLetter(host)) {
    EndAuthority();
    return TState::Path;
  }
  if (!host.empty()) {
    if (!AppendWebUrlHost(host, true, out_)) {
      return TState::Failure;
    }
    if (std::string_view(out_).substr(url_.HostStart) == "localhost") {
      out_.resize(url_.HostStart);
    }
  }
  url_.HostEnd = static_cast<std::uint32_t>(out_.size());
  EndAuthority();
  p_ = end;
  return TState::PathStart;
}

TState TWebUrlParser::PathStart() {
  const int c = Peek();
  if (url_.Special) {
    if (c == '/' || c == '\\') {
      ++p_;
    }
    return TState::Path;
  }
  if (c == '?' || c == '#') {
    ++p_;
    return c == '?' ? TState::Query : TState::Fragment;
  }
  if (c == kEof) {
    return TState::Done;
  }
  if (c == '/') {
    ++p_;
  }
  return TState::Path;
}

void TWebUrlParser::ShortenPath() {
  if (IsFile() && pathSegments_ == 1 &&
      IsNormalizedDriveLetter(std::string_view(out_).substr(url_.PathStart + 1))) {
    return;
  }
  if (pathSegments_ == 0) {
    return;
  }
  out_.resize(out_.rfind('/'));
  --pathSegments_;
}

// Segment by segment: each is escaped first, so "%2e" counts as a dot, then
// dot segments are dropped or climb one segment up.
TState TWebUrlParser::Path() {
  if (PlainPath()) {
    const int c = Peek();
    if (c == kEof) {
      return TState::Done;
    }
    ++p_;
    return c == '?' ? TState::Query : TState::Fragment;
  }
  for (;;) {
    const std::size_t segmentStart = out_.size();
    out_ += '/';
    std::size_t end = p_;
    while (end < in_.size() && in_[end] != '?' && in_[end] != '#' && !IsSlash(in_[end])) {
      ++end;
    }
    AppendPercentEncoded(in_.substr(p_, end - p_), TEncodeSet::Path, out_);
    p_ = end;
    const bool slash = IsSlash(Peek());
    const std::string_view segment = std::string_view(out_).substr(segmentStart + 1);
    if (MayBeDotSegment(segment) && (IsDoubleDot(segment) || IsSingleDot(segment))) {
      const bool up = IsDoubleDot(segment);
      out_.resize(segmentStart);
      if (up) {
        ShortenPath();
      }
      if (!slash) {
        out_ += '/';
        ++pathSegments_;
      }
    } else {
      if (IsFile() && pathSegments_ == 0 && IsWindowsDriveLetter(segment)) {
        out_[segmentStart + 2] = ':';
      }
      ++pathSegments_;
    }
    if (!slash) {
      break;
    }
    ++p_;
  }
  const int c = Peek();
  if (c == kEof) {
    return TState::Done;
  }
  ++p_;
  return c == '?' ? TState::Query : TState::Fragment;
}

// Most paths are segments of plain bytes: nothing to escape, no dot segment
// (no segment starts with "." or "%"), no backslash. Such a path is copied
// whole; any other is left to the segment rules.
bool TWebUrlParser::PlainPath() {
  if (IsFile()) {
    return false;
  }
  // Leading "../" and "./", as relative hrefs begin, climb or stay.
  for (;;) {
    const std::string_view rest = in_.substr(p_);
    if (rest.starts_with("../")) {
      ShortenPath();
      p_ += 3;
    } else if (rest.starts_with("./")) {
      p_ += 2;
    } else {
      break;
    }
  }
  std::size_t end = p_;
  int slashes = 0;
  bool segmentStart = true;
  for (; end < in_.size() && in_[end] != '?' && in_[end] != '#'; ++end) {
    const char c = in_[end];
    if (c == '/') {
      ++slashes;
      segmentStart = true;
      continue;
    }
    if (!kPlainPathBytes[static_cast<unsigned char>(c)] ||
        (segmentStart && (c == '.' || c == '%'))) {
      return false;
    }
    segmentStart = false;
  }
  out_ += '/';
  out_.append(in_.substr(p_, end - p_));
  pathSegments_ += slashes + 1;
  p_ = end;
  return true;
}

TState TWebUrlParser::OpaquePath() {
  std::size_t end = p_;
  while (end < in_.size() && in_[end] != '?' && in_[end] != '#') {
    ++end;
  }
  AppendPercentEncoded(in_.substr(p_, end - p_), TEncodeSet::C0Control, out_);
  p_ = end;
  const int c = Peek();
  if (c == kEof) {
    return TState::Done;
  }
  ++p_;
  return c == '?' ? TState::Query : TState::Fragment;
}

TState TWebUrlParser::Query() {
  url_.QueryStart = static_cast<std::uint32_t>(out_.size());
  out_ += '?';
  const std::size_t end = std::min(in_.find('#', p_), in_.size());
  const std::string_view text = in_.substr(p_, end - p_);
  const TEncodeSet set = url_.Special ? TEncodeSet::SpecialQuery : TEncodeSet::Query;
  // ws and wss are sent as UTF-8 whatever the page's encoding.
  const std::string_view scheme = url_.Scheme();
  if (encoder_ != nullptr && *encoder_ && url_.Special && scheme != "ws" && scheme != "wss") {
    AppendEncodedQuery(text, set);
  } else {
    AppendPercentEncoded(text, set, out_);
  }
  p_ = end;
  if (end == in_.size()) {
    return TState::Done;
  }
  ++p_;
  return TState::Fragment;
}

void TWebUrlParser::AppendEncodedQuery(std::string_view text, TEncodeSet set) {
  std::string bytes;
  while (!text.empty()) {
    std::size_t run = 0;
    while (run < text.size() && static_cast<unsigned char>(text[run]) < 0x80) {
      ++run;
    }
    AppendPercentEncoded(text.substr(0, run), set, out_);
    text.remove_prefix(run);
    if (text.empty()) {
      break;
    }
    run = 0;
    while (run < text.size() && static_cast<unsigned char>(text[run]) >= 0x80) {
      ++run;
    }
    bytes.clear();
    (*encoder_)(text.substr(0, run), bytes);
    AppendEncoderOutput(bytes, set, out_);
    text.remove_prefix(run);
  }
}

TState TWebUrlParser::Fragment() {
  url_.FragmentStart = static_cast<std::uint32_t>(out_.size());
  out_ += '#';
  AppendPercentEncoded(in_.substr(p_), TEncodeSet::Fragment, out_);
  p_ = in_.size();
  return TState::Done;
}

// A path such as "//x" of a URL without a host would read as a host once
// serialised; browsers write "/." before it.
void TWebUrlParser::Finish() {
  if (url_.HasHost || url_.OpaquePath || pathSegments_ < 2 ||
      out_.compare(url_.PathStart, 2, "//") != 0) {
    return;
  }
  out_.insert(url_.PathStart, "/.");
  url_.PathStart += 2;
  if (url_.QueryStart != TWebUrl::kNone) {
    url_.QueryStart += 2;
  }
  if (url_.FragmentStart != TWebUrl::kNone) {
    url_.FragmentStart += 2;
  }
}

}  // namespace

std::string_view TWebUrl::Host() const {
  return std::string_view(Href).substr(HostStart, HostEnd - HostStart);
}

std::string_view TWebUrl::Path() const {
  return std::string_view(Href).substr(PathStart, PathEnd(*this) - PathStart);
}

std::string_view TWebUrl::Query() const {
  if (QueryStart == kNone) {
    return {};
  }
  return std::string_view(Href).substr(QueryStart + 1, QueryEnd(*this) - QueryStart - 1);
}

std::string_view TWebUrl::Fragment() const {
  if (FragmentStart == kNone) {
    return {};
  }
  return std::string_view(Href).substr(FragmentStart + 1);
}

bool ParseWebUrl(std::string_view input, const TWebUrl* base, const TQueryEncoder* encoder,
                 TWebUrl& out) {
  // Every field but the buffer of Href starts afresh.
  out.Href.clear();
  out.SchemeEnd = out.UsernameEnd = out.HostStart = out.HostEnd = out.AuthorityEnd = out.PathStart =
      0;
  out.QueryStart = out.FragmentStart = TWebUrl::kNone;
  out.Port = -1;
  out.Special = out.HasHost = out.OpaquePath = false;
  input = TrimControls(input);
  if (input.size() > kMaxWebUrlInputBytes) {
    return false;
  }
  if (!NeedsCleaning(input)) {
    return TWebUrlParser(input, base, encoder, out).Run();
  }
  const std::string cleaned = CleanInput(input);
  return TWebUrlParser(cleaned, base, encoder, out).Run();
}

std::optional<TWebUrl> ParseWebUrl(std::string_view input, const TWebUrl* base) {
  TWebUrl url;
  if (!ParseWebUrl(input, base, nullptr, url)) {
    return std::nullopt;
  }
  return url;
}

std::optional<std::string> ResolveWebUrl(std::string_view href, std::string_view base) {
  const std::optional<TWebUrl> baseUrl = ParseWebUrl(base);
  if (!baseUrl) {
    return std::nullopt;
  }
  std::optional<TWebUrl> url = ParseWebUrl(href, &*baseUrl);
  if (!url) {
    return std::nullopt;
  }
  return std::move(url->Href);
}

}  // namespace movrek
