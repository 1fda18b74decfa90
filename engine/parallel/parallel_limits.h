// Named limits and tuning values of the parallel job and of the console front
// end that runs it, where tests and the front end can reach them.
#pragma once

#include <cstdint>

namespace movrek {

// --- the parallel job of the console front end ---

// Bytes of a body movrek-cli keeps unless --max-size says otherwise.
inline constexpr std::int64_t kDefaultMaxPageBytes = std::int64_t{64} << 20;
// Limit of --jobs and --per-host.
inline constexpr std::int32_t kMaxParallelJobs = 64;

// Streams on the one HTTP/2 connection to a host by default, when the server
// takes that many: as fast as many HTTP/1.1 connections, on one.
inline constexpr std::int32_t kDefaultH2Streams = 16;
// How far the workers may run ahead of the page written next, in lines.
// A free worker looks this far for a line whose host has room, so a list
// sorted by host keeps every worker busy while the run of one host is at
// most this long.
inline constexpr std::uint32_t kMaxLinesAhead = 65536;
// Finished pages held for an earlier, slower one: beyond this many bytes
// only the lines the writer waits for start.
inline constexpr std::uint64_t kMaxHeldPageBytes = std::uint64_t{64} << 20;
// The text of the lines read ahead and not started yet.
inline constexpr std::uint64_t kMaxWaitingLineBytes = std::uint64_t{16} << 20;
// How often the deadline of each line is looked at.
inline constexpr std::int32_t kDeadlineTickMs = 10;
// How often the console front end looks at the interrupt flag while it waits.
inline constexpr std::int32_t kInterruptPollMs = 50;

// --- connections, retries and time limits of the parallel job ---

// An idle kept-alive connection is closed after this long: servers close
// theirs after 5 to 75 seconds, and one closed under a request costs a try.
inline constexpr std::int32_t kConnectionIdleMs = 30000;
// Idle connections kept in all, whatever the hosts: each holds a descriptor,
// and a list of many hosts must not run out of them.
inline constexpr std::uint32_t kMaxIdleConnections = 128;
// The wait before the first retry; it doubles with each retry up to the
// ceiling. Each wait is spread by up to this share either way, so that
// workers refused together do not all come back in the same instant.
inline constexpr std::int32_t kFirstRetryWaitMs = 1000;
inline constexpr std::int32_t kMaxRetryBackoffMs = 30000;
inline constexpr double kRetryJitterShare = 0.2;
// Defaults of the console front end: tries after the first, the longest
// Retry-After honoured, the time one address may take in all, and the
// low-speed rule (less than this many bytes in this window ends a transfer).
inline constexpr std::int32_t kDefaultRetries = 2;
inline constexpr std::int32_t kMaxRetries = 10;
inline constexpr std::int32_t kDefaultMaxRetryWaitMs = 120000;
inline constexpr std::int32_t kDefaultMaxTimeMs = 300000;
inline constexpr std::int64_t kDefaultMinSpeedBytes = 1024;
inline constexpr std::int32_t kDefaultMinSpeedWindowMs = 30000;
// Limit of --delay: one request to a host every ten minutes.
inline constexpr std::int32_t kMaxRequestDelayMs = 600000;
// Hosts whose request times the job remembers before it forgets those whose
// pauses are over.
inline constexpr std::uint32_t kMaxScheduledHosts = 4096;

}  // namespace movrek
