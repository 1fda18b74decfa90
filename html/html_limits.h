// Named limits of the HTML document, in one place where tests can reach them.
#pragma once

#include <cstdint>

namespace movrek {

// The first buffer for a file whose size is not known beforehand (a pipe);
// it doubles as the file goes on. Regular files are read at their size.
inline constexpr std::uint64_t kUnknownSizeReadBlockBytes = std::uint64_t{64} * 1024;

// A file is read in pieces of at most this size, so that no single read call
// runs for the whole of a page of hundreds of megabytes.
inline constexpr std::uint64_t kFileReadPieceBytes = std::uint64_t{4} * 1024 * 1024;

// Room kept after a page's bytes for its line ends to grow (LF to CR LF), as
// a fraction of the page: 1/16 covers lines of 16 bytes and more without
// moving the text.
inline constexpr std::uint64_t kLineEndGrowthDivisor = 16;

// Elements a document holds at most: indexes are 32-bit. A page reaches it
// only past some four gigabytes of markup; later elements are dropped.
inline constexpr std::uint64_t kMaxElements = 0x7fffffff;

}  // namespace movrek
