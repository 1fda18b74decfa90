#pragma once

#include <cstddef>
#include <cstdint>

// Named limits of the HTTP layer, in one place so that tests can reach them.
namespace movrek::http_limits {

// A request body below this size goes out in the same send as the head;
// larger bodies follow the head in their own sends.
inline constexpr size_t kInlineBodyLimit = 65536;

// Redirect hops one fetch follows before it gives up (a loop must end).
inline constexpr int kMaxRedirects = 20;

// A counted body is received in segments of this many socket blocks, so the
// document can grow in steps that the data actually received justifies
// instead of trusting the announced length up front.
inline constexpr int32_t kCountedSegmentBlocks = 64;

// Once this much of a counted body has arrived, room for all of the announced
// rest is taken at once: the server has shown it is sending, and every later
// doubling would copy the document again and touch its memory twice.
inline constexpr size_t kCountedTrustAfter = size_t{16} << 20;

// Head lines (status, header and chunk-size lines) come from the peer and are
// gathered in memory until their end arrives; a line that never ends must not
// take all memory. Real servers stay far below this (RFC 9110 section 5.4
// leaves the limit to the client). An owner's stricter line limit stays.
inline constexpr int32_t kMaxHeadLineLength = 65536;

// The header lines of one answer together, for the same reason: endless
// header lines of legal length are as hostile as one endless line.
inline constexpr size_t kMaxHeadBytes = size_t{1} << 20;

}  // namespace movrek::http_limits
