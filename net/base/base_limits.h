// Named sizes of the base layer's fixed buffers, in one place where tests can
// reach them.
#pragma once

#include <cstddef>

namespace movrek {

// Buffers handed to getnameinfo and gethostname.
inline constexpr int kNameInfoHostBytes = 1025;
inline constexpr int kNameInfoServiceBytes = 32;
inline constexpr int kLocalHostNameBytes = 255;
// Longest href a URL is parsed from; the parsed record counts in 32 bits.
inline constexpr std::size_t kMaxWebUrlInputBytes = std::size_t{256} << 20;
// Handles one socket set holds.
inline constexpr int kMaxSocketSetHandles = 64;

}  // namespace movrek
