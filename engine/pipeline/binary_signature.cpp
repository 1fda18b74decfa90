#include "engine/pipeline/binary_signature.h"

namespace movrek {
namespace {

struct TSignature {
  std::string_view Lead;
  const char* Type;
};

using namespace std::string_view_literals;

// Leading bytes of common downloads that are not pages. Those that start
// with a NUL byte (ISO 9660 images, MP4, xz, ...) are caught by it.
constexpr TSignature kSignatures[] = {
    {"%PDF-"sv, "application/pdf"},
    {"PK\x03\x04"sv, "application/zip"},
    {"PK\x05\x06"sv, "application/zip"},
    {"PK\x07\x08"sv, "application/zip"},
    {"\x1f\x8b"sv, "application/gzip"},
    {"\x28\xb5\x2f\xfd"sv, "application/zstd"},
    {"BZh"sv, "application/x-bzip2"},
    {"\xfd"
     "7zXZ"sv,
     "application/x-xz"},
    {"7z\xbc\xaf\x27\x1c"sv, "application/x-7z-compressed"},
    {"Rar!\x1a\x07"sv, "application/vnd.rar"},
    {"\x89PNG\r\n\x1a\n"sv, "image/png"},
    {"\xff\xd8\xff"sv, "image/jpeg"},
    {"GIF87a"sv, "image/gif"},
    {"GIF89a"sv, "image/gif"},
    {"\x7f"
     "ELF"sv,
     "application/x-executable"},
    {"OggS"sv, "audio/ogg"},
    {"fLaC"sv, "audio/flac"},
    {"\x1a\x45\xdf\xa3"sv, "video/webm"},
    {"wOFF"sv, "font/woff"},
    {"wOF2"sv, "font/woff2"},
    {"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"sv, "application/x-ole-storage"},
};

bool StartsWithBytes(std::string_view text, std::string_view lead) {
  return text.substr(0, lead.size()) == lead;
}

}  // namespace

std::string BinaryTypeOf(std::string_view head) {
  for (const TSignature& signature : kSignatures) {
    if (StartsWithBytes(head, signature.Lead)) {
      return signature.Type;
    }
  }
  // A page in UTF-16 has NUL bytes in every ASCII character; its byte order
  // mark says so.
  if (StartsWithBytes(head, "\xff\xfe"sv) || StartsWithBytes(head, "\xfe\xff"sv)) {
    return std::string();
  }
  return head.find('\0') != std::string_view::npos ? "application/octet-stream" : std::string();
}

bool IsPageType(const std::string& mediaType) {
  return mediaType == "text/html" || mediaType == "application/xhtml+xml";
}

}  // namespace movrek
