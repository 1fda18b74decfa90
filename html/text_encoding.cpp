#include "html/text_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "html/character_references.h"
#include "html/encoding_labels.h"
#include "text/utf8_sequence.h"

namespace movrek {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// An iconv descriptor, nullptr when glibc has no such conversion.
void* OpenIconv(std::string_view to, std::string_view from) {
  iconv_t cd = ::iconv_open(std::string(to).c_str(), std::string(from).c_str());
  return reinterpret_cast<std::intptr_t>(cd) == -1 ? nullptr : cd;
}

// The bytes glibc's windows-1252 leaves out and the standard maps to the C1
// controls of the same number.
bool IsWindows1252Gap(std::uint32_t code) {
  return code == 0x81 || code == 0x8D || code == 0x8F || code == 0x90 || code == 0x9D;
}

// The code point of the well-formed UTF-8 sequence at text[at] and its length.
std::uint32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t* length) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  n = std::min(n, text.size() - at);
  std::uint32_t code = n == 1 ? lead : lead & (0x7F >> n);
  for (std::size_t k = 1; k < n; ++k) {
    code = (code << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
  }
  *length = n;
  return code;
}

void AppendReference(std::uint32_t code, std::string& out) {
  out += "&#";
  out += std::to_string(code);
  out += ';';
}

}  // namespace

void AppendValidUtf8(std::string_view bytes, std::string& out) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[at]);
    if (c != 0 && c < 0x80) {
      out += static_cast<char>(c);
      ++at;
      continue;
    }
    if (c == 0) {
      out += kReplacement;
      ++at;
      continue;
    }
    const std::string_view rest = bytes.substr(at);
    if (const std::size_t length = Utf8SequenceLength(rest); length != 0) {
      out.append(rest.substr(0, length));
      at += length;
    } else {
      out += kReplacement;
      at += Utf8MalformedLength(rest);
    }
  }
}

TTextEncoding::TTextEncoding(std::string_view name) : name_(name) {}

TTextEncoding::TTextEncoding(TTextEncoding&& other) noexcept
    : name_(std::move(other.name_)),
      decoder_(std::exchange(other.decoder_, nullptr)),
      encoder_(std::exchange(other.encoder_, nullptr)),
      decoder_opened_(std::exchange(other.decoder_opened_, false)),
      encoder_opened_(std::exchange(other.encoder_opened_, false)) {}

TTextEncoding& TTextEncoding::operator=(TTextEncoding&& other) noexcept {
  if (this != &other) {
    Close();
    name_ = std::move(other.name_);
    decoder_ = std::exchange(other.decoder_, nullptr);
    encoder_ = std::exchange(other.encoder_, nullptr);
    decoder_opened_ = std::exchange(other.decoder_opened_, false);
    encoder_opened_ = std::exchange(other.encoder_opened_, false);
  }
  return *this;
}

TTextEncoding::~TTextEncoding() {
  Close();
}

void TTextEncoding::Close() {
  for (void** handle : {&decoder_, &encoder_}) {
    if (*handle != nullptr) {
      ::iconv_close(static_cast<iconv_t>(*handle));
    }
    *handle = nullptr;
  }
}

bool TTextEncoding::IsAsciiCompatible() const {
  return name_ != "UTF-16LE" && name_ != "UTF-16BE" && name_ != "ISO-2022-JP" &&
         name_ != "replacement";
}

bool TTextEncoding::QueryIsUtf8() const {
  return IsUtf8() || name_ == "UTF-16LE" || name_ == "UTF-16BE" || name_ == "replacement";
}

void TTextEncoding::AppendDecoded(std::string_view bytes, std::string& out) {
  if (IsUtf8()) {
    AppendValidUtf8(bytes, out);
  } else if (name_ == "replacement") {
    // The encodings it stands for could smuggle markup past a filter: the
    // whole text is one U+FFFD.
    if (!bytes.empty()) {
      out += kReplacement;
    }
  } else if (name_ == "x-user-defined") {
    for (const char c : bytes) {
      const auto byte = static_cast<unsigned char>(c);
      AppendUtf8(byte == 0 ? 0xFFFD : byte < 0x80 ? byte : 0xF780 + byte - 0x80, out);
    }
  } else {
    AppendIconvDecoded(bytes, false, true, out);
  }
}

void TTextEncoding::AppendDecodedPart(std::string_view bytes, bool last, std::string& out) {
  if (IsAsciiCompatible() && name_ != "ISO-2022-JP" && !IsUtf8() && name_ != "replacement" &&
      name_ != "x-user-defined") {
    // Multi-byte legacy encodings may cut a character too.
    AppendIconvDecoded(bytes, true, last, out);
    return;
  }
  if (name_ == "UTF-16LE" || name_ == "UTF-16BE" || name_ == "ISO-2022-JP") {
    AppendIconvDecoded(bytes, true, last, out);
    return;
  }
  std::string joined = std::exchange(carry_, {});
  joined.append(bytes);
  std::string_view text = joined;
  if (!last && IsUtf8()) {
    // Keep a sequence the piece ends inside of for the next piece.
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 4 &&
           (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
      --start;
    }
    if (start > 0 && static_cast<unsigned char>(text[start - 1]) >= 0xC0) {
      carry_.assign(text.substr(start - 1));
      text.remove_suffix(carry_.size());
    }
  }
  if (name_ == "replacement" && !out.empty()) {
    return;  // one U+FFFD for the whole text
  }
  AppendDecoded(text, out);
}

void TTextEncoding::AppendIconvDecoded(std::string_view whole, bool keepState, bool last,
                                       std::string& out) {
  std::string joined;
  std::string_view bytes = whole;
  if (keepState && !carry_.empty()) {
    joined = std::exchange(carry_, {});
    joined.append(whole);
    bytes = joined;
  }
  if (!std::exchange(decoder_opened_, true)) {
    decoder_ = OpenIconv("UTF-8", IconvNameOf(name_));
  }
  if (decoder_ == nullptr) {
    AppendValidUtf8(bytes, out);  // never for an encoding of the table
    return;
  }
  auto* const cd = static_cast<iconv_t>(decoder_);
  if (!keepState) {
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  std::string decoded(bytes.size() * 3 + 16, '\0');
  std::size_t used = 0;
  while (in_left > 0) {
    char* to = decoded.data() + used;
    std::size_t to_left = decoded.size() - used;
    const std::size_t result = ::iconv(cd, &in, &in_left, &to, &to_left);
    used = decoded.size() - to_left;
    if (result != static_cast<std::size_t>(-1)) {
      break;
    }
    if (errno == E2BIG) {
      decoded.resize(decoded.size() * 2);
      continue;
    }
    if (errno == EINVAL && !last) {
      carry_.assign(in, in_left);  // the rest of the sequence comes with the next piece
      break;
    }
    // A byte the encoding does not allow, or a sequence cut off at the end.
    const auto byte = static_cast<unsigned char>(*in);
    decoded.resize(used);
    if (name_ == "windows-1252" && IsWindows1252Gap(byte)) {
      AppendUtf8(byte, decoded);
    } else {
      decoded += kReplacement;
    }
    used = decoded.size();
    decoded.resize(used + in_left * 3 + 16);
    ++in;
    --in_left;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  decoded.resize(used);
  // iconv passes NUL through; in an attribute it is U+FFFD.
  for (const char c : decoded) {
    if (c == '\0') {
      out += kReplacement;
    } else {
      out += c;
    }
  }
}

void TTextEncoding::AppendEncoded(std::string_view utf8, std::string& out) {
  if (QueryIsUtf8()) {
    out += utf8;
    return;
  }
  if (name_ != "x-user-defined" && !std::exchange(encoder_opened_, true)) {
    encoder_ = OpenIconv(IconvNameOf(name_), "UTF-8");
  }
  if (encoder_ != nullptr) {
    ::iconv(static_cast<iconv_t>(encoder_), nullptr, nullptr, nullptr, nullptr);
  }
  // ASCII passes iconv only in a stateful encoding, whose shifts it keeps.
  const bool stateful = name_ == "ISO-2022-JP";
  std::size_t at = 0;
  while (at < utf8.size()) {
    std::size_t length = 0;
    const std::uint32_t code = DecodeUtf8(utf8, at, &length);
    if (code < 0x80 && !stateful) {
      out += static_cast<char>(code);
    } else if (encoder_ == nullptr) {
      if (name_ == "x-user-defined" && code >= 0xF780 && code <= 0xF7FF) {
        out += static_cast<char>(code - 0xF780 + 0x80);
      } else {
        AppendReference(code, out);
      }
    } else {
      char buffer[16];
      char* in = const_cast<char*>(utf8.data() + at);
      std::size_t in_left = length;
      char* to = buffer;
      std::size_t to_left = sizeof buffer;
      auto* const cd = static_cast<iconv_t>(encoder_);
      if (::iconv(cd, &in, &in_left, &to, &to_left) != static_cast<std::size_t>(-1)) {
        out.append(buffer, static_cast<std::size_t>(to - buffer));
      } else if (name_ == "windows-1252" && IsWindows1252Gap(code)) {
        out += static_cast<char>(code);
      } else {
        AppendReference(code, out);
      }
    }
    at += length;
  }
  // Back to the initial shift state (ISO-2022-JP ends in ASCII).
  if (encoder_ != nullptr) {
    char buffer[16];
    char* to = buffer;
    std::size_t to_left = sizeof buffer;
    ::iconv(static_cast<iconv_t>(encoder_), nullptr, nullptr, &to, &to_left);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
  }
}

}  // namespace movrek
