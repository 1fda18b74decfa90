// Named sizes of the base layer's fixed buffers, in one place where tests can
// reach them.
#pragma once

namespace movrek {

// Buffers handed to getnameinfo and gethostname.
inline constexpr int kNameInfoHostBytes = 1025;
inline constexpr int kNameInfoServiceBytes = 32;
inline constexpr int kLocalHostNameBytes = 255;
// Handles one socket set holds.
inline constexpr int kMaxSocketSetHandles = 64;

}  // namespace movrek
