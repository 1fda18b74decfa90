// Named limits and tuning values of the per-URL pipeline both jobs run, where
// tests and front ends can reach them.
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

// --- files ---

// Longest temporary directory taken from TMPDIR; a longer one falls back to
// /tmp so that the names stay within the path room the pipeline reserves.
inline constexpr std::uint32_t kMaxTempDirectoryBytes = 260;
// Attempts at a fresh temporary name before MakeTempFileName gives up.
inline constexpr std::int32_t kMaxTempNameAttempts = 100;

// --- page bodies ---

// Decoded bytes of a body without Content-Type looked at to tell a page from
// a binary file (a NUL byte or a known signature among them).
inline constexpr std::uint32_t kSniffBytes = 1024;
// The body of a redirect that is followed is read and dropped, so the
// connection can carry the next request; past this it is closed instead.
inline constexpr std::int64_t kMaxDroppedBodyBytes = std::int64_t{1} << 20;
// The largest body held in memory instead of a page file when the job's
// settings ask for it (TJobSettings::HoldSmallBodies).
inline constexpr std::int64_t kMaxHeldBodyBytes = std::int64_t{1} << 20;
// A body is scanned on the fetching thread up to this size; a larger one is
// scanned on a thread of its own while the rest arrives, with at most the
// second number of bytes waiting for it.
inline constexpr std::int64_t kScanBesideFromBytes = std::int64_t{1} << 20;
inline constexpr std::int64_t kMaxWaitingScanBytes = std::int64_t{4} << 20;
// Memory the links of the pages in transfer may take while they are gathered
// (the window's one page, or shared by a console job's workers, each getting
// at least the second number); past it a page is listed from its saved file.
inline constexpr std::int64_t kGatheredLinkBytes = std::int64_t{64} << 20;
inline constexpr std::int64_t kMinGatheredLinkBytesPerPage = std::int64_t{8} << 20;

}  // namespace movrek
