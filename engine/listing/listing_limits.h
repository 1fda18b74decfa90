// Named limits of the listing and of the lists it works on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek {

// Names SaveToFile tries for its new file before it gives up.
inline constexpr std::int32_t kMaxSaveNameAttempts = 100;

// Characters of an anchor's text (or its image's alt) kept in a record.
inline constexpr std::size_t kMaxAnchorTextChars = 300;
// Bytes of an anchor's text, alt or rel kept as written while the page is
// read: enough for kMaxAnchorTextChars even when each is a long named
// character reference.
inline constexpr std::size_t kMaxWrittenAnchorBytes = std::size_t{16} * 1024;

}  // namespace movrek
