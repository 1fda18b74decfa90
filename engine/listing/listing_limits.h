// Named limits of the listing and of the lists it works on.
#pragma once

#include <cstdint>

namespace movrek {

// Names SaveToFile tries for its new file before it gives up.
inline constexpr std::int32_t kMaxSaveNameAttempts = 100;

}  // namespace movrek
