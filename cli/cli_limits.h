// Named limits and tuning values of movrek-cli.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek::cli {

// --- the URL list ---

// A list line longer than this is no address: it is refused without being
// kept, whatever its length.
inline constexpr std::size_t kMaxUrlLineBytes = std::size_t{64} * 1024;
// What the messages show of a refused line.
inline constexpr std::size_t kMaxShownLineBytes = 80;
// Each read of the list takes this much: the list's read-ahead is a block
// and the lines read from it that no worker took yet.
inline constexpr std::size_t kUrlListReadBlockBytes = std::size_t{64} * 1024;
// How often a read of a pipe or terminal that has nothing yet looks whether
// the run was stopped.
inline constexpr int kUrlListPollMs = 50;
// The lines of the list files are counted in blocks of this size; up to
// kUrlListCountNowBytes before the run starts, larger lists on a thread of
// their own, so that the first page is fetched at once.
inline constexpr std::size_t kUrlListCountBlockBytes = std::size_t{1} << 20;
inline constexpr std::size_t kUrlListCountNowBytes = std::size_t{8} << 20;

// --- the results ---

// A page's result lines go out in writes of about this size.
inline constexpr std::size_t kFormatFlushBytes = std::size_t{64} * 1024;

// --- the live progress line ---

// The line is redrawn at most this often.
inline constexpr std::int32_t kLiveLineIntervalMs = 100;
// Columns the line leaves free at the right edge of the terminal.
inline constexpr int kLiveLineSpareColumns = 3;
// Width taken when standard error is no terminal that tells its own.
inline constexpr int kDefaultTerminalColumns = 80;

// --- option values ---

// Options in seconds take at most a day.
inline constexpr std::int64_t kMaxOptionSeconds = 86400;
// A few pages at once by default: one page's round trip to its server no
// longer waits for the last one's, and the output keeps the list order.
inline constexpr int kDefaultJobs = 4;
// --min-speed's BYTES.
inline constexpr std::int64_t kMaxMinSpeedBytes = std::int64_t{1} << 30;
// --max-size: far past the HTTP layer's ceiling, which bounds every body.
inline constexpr std::int64_t kMaxSizeOptionBytes = std::int64_t{1} << 40;

}  // namespace movrek::cli
