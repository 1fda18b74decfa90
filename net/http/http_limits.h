#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

// Named limits of the HTTP layer, in one place so that tests can reach them.
namespace movrek {

// A request body below this size goes out in the same send as the head;
// bodies of this size or more follow the head in their own sends.
inline constexpr std::size_t kSeparateBodyFromBytes = 65536;

// Redirect hops one fetch follows before it gives up (a loop must end).
inline constexpr std::int32_t kMaxRedirects = 20;

// A counted body is received in segments of this many socket blocks, so the
// document can grow in steps that the data actually received justifies
// instead of trusting the announced length up front.
inline constexpr std::int32_t kCountedSegmentBlocks = 64;

// Once this much of a counted body has arrived, room for all of the announced
// rest is taken at once: the server has shown it is sending, and every later
// doubling would copy the document again and touch its memory twice.
inline constexpr std::size_t kCountedTrustAfterBytes = std::size_t{16} << 20;

// The most a body may hold: its counters (DownloadSize, the progress count)
// are 32-bit. A body that runs on beyond it (until close, or in chunks) ends
// the request with WSAENOBUFS instead of growing.
inline constexpr std::size_t kMaxBodyBytes = 0x7fffffff;

// A body streamed to a sink is received in pieces of at most this size: the
// memory a transfer holds, whatever the size of the body.
inline constexpr std::size_t kStreamPieceBytes = std::size_t{256} << 10;

// A decoded body comes out of its content decoder in pieces of at most this
// size, so a small coded body that expands without end (a decompression
// bomb) is cut at whatever bound its reader sets, with bounded memory.
inline constexpr std::size_t kDecodedPieceBytes = std::size_t{64} << 10;

// Content codings one body may name (RFC 9110 section 8.4.1). Browsers
// meet chains of two or three; each coding costs a decoder of tens of KiB
// before any byte arrives, so a header listing thousands must be refused
// rather than set up.
inline constexpr std::size_t kMaxContentCodings = 8;

// The largest zstd window a body may ask the decoder to keep (2^23 = 8 MiB):
// RFC 9659 section 3 lets HTTP decoders refuse larger windows, which would
// cost that much memory per transfer.
inline constexpr int kMaxZstdWindowLog = 23;

// A body of unknown size (until close, chunked) grows by doubling up to this
// size. Past it a copy would hold the body twice, so room up to
// kMaxBodyBytes is reserved at once: address space only, which takes no
// memory until bytes arrive, and the body is never copied again.
inline constexpr std::size_t kMaxBodyDoublingBytes = std::size_t{64} << 20;

// From this capacity on the body asks for huge pages: faulting in hundreds of
// megabytes page by page costs more than receiving them.
inline constexpr std::size_t kHugePageBodyFromBytes = std::size_t{8} << 20;

// Head lines (status, header and chunk-size lines) come from the peer and are
// gathered in memory until their end arrives; a line that never ends must not
// take all memory. Real servers stay far below this (RFC 9110 section 5.4
// leaves the limit to the client). An owner's stricter line limit stays.
inline constexpr std::int32_t kMaxHeadLineBytes = 65536;

// The header lines of one answer together, for the same reason: endless
// header lines of legal length are as hostile as one endless line.
inline constexpr std::size_t kMaxHeadBytes = std::size_t{1} << 20;

// Interim (1xx) answers read and dropped before the final one (RFC 9110
// section 15.2 sets no bound; a server that sends them without end must not
// hold the request until its time-out).
inline constexpr int kMaxInterimAnswers = 16;

// Numbers read from the peer (lengths, chunk sizes, status codes) stop
// growing here: a value this large is beyond every 32-bit count, and the
// reader can still tell a size too large from no size at all.
inline constexpr std::int64_t kBeyond32Bits =
    std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;

}  // namespace movrek
