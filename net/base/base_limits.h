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
// Longest single wait of a name lookup before it looks at its stop flag
// again; a stop takes effect within this time.
inline constexpr int kNameLookupSliceMs = 50;
// The system resolver's own defaults (resolv.conf(5): timeout 5 s, 2
// attempts), so that a silent name server is given up after as long as before.
inline constexpr int kDefaultNameServerTimeoutMs = 5000;
inline constexpr int kDefaultNameServerTries = 2;

}  // namespace movrek
