// The bounds of HTTP/2 connections, in one place where tests can reach them.
// A server that goes past one fails its pages (or its connection) with a
// reason instead of costing memory or time without end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek {

// RFC 9113 section 6.9.2: the window each stream opens with. The server
// sends no more of a body than this until the page has taken what came, so
// it bounds the memory of one stream.
inline constexpr std::int32_t kH2StreamWindowBytes = std::int32_t{1} << 20;

// The connection's window: all streams of a connection together. Bytes are
// handed back to it as they arrive; the streams' windows do the bounding.
inline constexpr std::int32_t kH2ConnectionWindowBytes = std::int32_t{16} << 20;

// RFC 9113 section 6.5.2: the largest response head offered to take, names
// and values and 32 bytes for each field. A head past it resets its stream.
// Below what kH2MaxContinuations frames of the default size hold, so that
// this bound, not the frame count, is what a large head meets.
inline constexpr std::uint32_t kH2MaxHeadListBytes = std::uint32_t{64} << 10;

// CONTINUATION frames after one HEADERS frame; more ends the connection.
inline constexpr std::size_t kH2MaxContinuations = 8;

// Entries of one SETTINGS frame taken at most.
inline constexpr std::size_t kH2MaxSettingsEntries = 32;

// SETTINGS and PING acknowledgements waiting to go out at most; a server
// that makes more ends its connection.
inline constexpr std::size_t kH2MaxQueuedAcks = 1000;

// RST_STREAM frames from the server: a burst, then so many a second.
inline constexpr std::uint64_t kH2ResetBurst = 1000;
inline constexpr std::uint64_t kH2ResetsPerSecond = 33;

// Control frames (SETTINGS, PING, empty DATA and the like) the server may
// send in one second of a connection; past it, the server is flooding.
inline constexpr int kH2MaxControlFramesPerSecond = 10000;

// Bytes read from the connection in one go.
inline constexpr std::int32_t kH2ReadBytes = 64 << 10;

// How long the connection's thread waits for the server before it looks at
// its own state again (it is woken sooner for requests).
inline constexpr std::int32_t kH2PollMs = 1000;

// How often a page waiting on its stream looks for a stop.
inline constexpr std::int32_t kH2StopCheckMs = 50;

// A request the server refused unprocessed (REFUSED_STREAM, beyond the
// last stream of a GOAWAY, a connection lost before any answer) goes out on
// a new connection at most this many times.
inline constexpr int kH2UnprocessedRetries = 3;

}  // namespace movrek
