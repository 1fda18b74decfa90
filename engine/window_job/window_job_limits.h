// Named limits and tuning values of the window's job.
#pragma once

#include <cstdint>

namespace movrek {

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

}  // namespace movrek
