// Named limits and tuning values of the engine and its front ends, in one
// place where tests and front ends can reach them.
#pragma once

#include <cstdint>

namespace movrek {

// --- the job ---

// Pauses the job makes unless its settings turn them off: after saving each
// page, and after each URL (also in Start and Abort).
inline constexpr std::int32_t kPageSavedPauseMs = 500;
inline constexpr std::int32_t kUrlDonePauseMs = 100;
// Start drops URL lines shorter than this (blanks count).
inline constexpr std::uint32_t kMinUrlLineBytes = 3;
// A save target whose path is no longer than this is ignored.
inline constexpr std::uint32_t kMaxIgnoredSaveTargetBytes = 3;
// Transfer progress reaches the window at most this often: a status bar
// cannot show twenty thousand texts a second, and each costs the worker a
// round trip to the window's thread. The last one of a fetch always comes.
inline constexpr std::int32_t kProgressIntervalMs = 10;
// Longest a result line waits on the worker before it is handed over, while
// a page is listed: lines keep appearing on a huge page, and the window's
// thread is woken about twenty times a second instead of once per line.
inline constexpr std::int32_t kResultBatchIntervalMs = 50;

// --- files ---

// Longest temporary directory taken from TMPDIR; a longer one falls back to
// /tmp so that the names stay within the path room the pipeline reserves.
inline constexpr std::uint32_t kMaxTempDirectoryBytes = 260;
// Attempts at a fresh temporary name before MakeTempFileName gives up.
inline constexpr std::int32_t kMaxTempNameAttempts = 100;
// Names SaveToFile tries for its new file before it gives up.
inline constexpr std::int32_t kMaxSaveNameAttempts = 100;

// --- page bodies ---

// Decoded bytes of a body without Content-Type looked at to tell a page from
// a binary file (a NUL byte or a known signature among them).
inline constexpr std::uint32_t kSniffBytes = 1024;
// The body of a redirect that is followed is read and dropped, so the
// connection can carry the next request; past this it is closed instead.
inline constexpr std::int64_t kMaxDroppedBodyBytes = std::int64_t{1} << 20;

// --- the parallel job of the console front end ---

// Bytes of a body movrek-cli keeps unless --max-size says otherwise.
inline constexpr std::int64_t kDefaultMaxPageBytes = std::int64_t{64} << 20;
// Limit of --jobs and --per-host.
inline constexpr std::int32_t kMaxParallelJobs = 64;
// How far the workers may run ahead of the page written next, per worker.
inline constexpr std::uint32_t kMaxPagesAheadPerWorker = 4;
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
