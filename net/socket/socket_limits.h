// Named limits and defaults of the socket layer, in one place where tests
// and owners can reach them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek {

// Largest piece handed to one send call; also the block size of stream
// reception (TBlockSocket::SendMaxChunk starts with it).
inline constexpr std::int32_t kDefaultSendMaxChunkBytes = 65536;
// PendingBytes never reports more than this, so one ReceiveChunk never asks
// the system for more at once.
inline constexpr std::int32_t kMaxPendingBytes = 65536;
// Wait for writability after a send would block.
inline constexpr std::int32_t kDefaultNonblockSendTimeoutMs = 15000;
// The bandwidth limiter sleeps in slices of this length so that a stop
// request is seen between them.
inline constexpr std::int32_t kThrottleSliceMs = 250;
// Waits poll in slices of at most this length and look at the stop flag
// between them, so that a stop ends even a long wait soon.
inline constexpr std::int32_t kStopCheckSliceMs = 100;
// Per-wait time-outs of the proxy exchanges.
inline constexpr std::int32_t kDefaultSocksTimeoutMs = 60000;
inline constexpr std::int32_t kDefaultHTTPTunnelTimeoutMs = 30000;
// The reply head of an HTTP CONNECT proxy is read within these bounds, per
// line and in all, so that a proxy sending without end cannot make the
// socket gather without end.
inline constexpr std::int32_t kMaxTunnelLineBytes = 8192;
inline constexpr std::int64_t kMaxTunnelHeadBytes = 65536;
// "HTTP/1.x NNN" is 12 characters: a reply line shorter than that carries no
// status code; the first digit of the code, its class, is the tenth.
inline constexpr std::size_t kMinStatusLineBytes = 12;
inline constexpr std::size_t kStatusClassIndex = 9;
// Per-wait time-out of a transfer: of the TLS handshake and of TLS traffic
// outside a receive with its own time-out (sends, the close), and the HTTP
// transaction's default for each wait for response data. One value, so that
// HTTPS waits as long as HTTP.
inline constexpr std::int32_t kDefaultTransferTimeoutMs = 90000;
// Backlog asked for when listening; the system clamps it to its own maximum.
inline constexpr std::int32_t kListenBacklog = 2147483647;
// Closing drains what the peer still sends, but not without end: a peer that
// keeps sending must not hold the close.
inline constexpr std::int64_t kMaxDiscardBytes = std::int64_t{1} << 20;
// Stream reception reserves room for an announced size only once the first
// block has arrived, and never more than this at once, so that a peer cannot
// make the receiver commit memory for data it never sends.
inline constexpr std::int64_t kMaxStreamReserveBytes = std::int64_t{1} << 31;

// TLS sessions one cache keeps for resumption: one per server a job talks
// to, and a list of many thousand hosts must not keep them all.
inline constexpr std::size_t kMaxCachedTlsSessions = 1024;

}  // namespace movrek
