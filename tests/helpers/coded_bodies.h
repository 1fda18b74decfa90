#pragma once
// Bodies in the content codings a server sends (RFC 9110 section 8.4.1),
// made with the same libraries' encoders.

#include <string>

namespace movrek::test {

// `body` coded as `coding` names it: "identity", "gzip", "deflate" (zlib
// wrapped), "raw-deflate" (sent as deflate), "br" or "zstd".
std::string EncodeBody(const std::string& coding, const std::string& body);

// A gzip body that decodes to `copies` times 64 MiB of zero bytes, from a
// few kilobytes per copy: a decompression bomb.
std::string GzipBomb(int copies);

}  // namespace movrek::test
