// Limits of the window program.
#pragma once

#include <cstddef>

namespace movrek::app {

// Text the undo history of one list keeps at most (inserted plus removed
// bytes): enough for every edit a user makes by hand, while a list of
// millions of lines, once cleared, gives its memory back.
inline constexpr std::size_t kMaxUndoHistoryBytes = std::size_t{16} << 20;

// Text the loop generator builds at most in one run (its lines at their
// widest): past it the run is refused instead of exhausting memory.
inline constexpr std::size_t kMaxGeneratedBytes = std::size_t{1} << 30;

}  // namespace movrek::app
