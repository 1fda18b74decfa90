#pragma once

#include <string>

namespace movrek::fuzzing {

// Runs one input through what a fetched page goes through: it is saved to a
// file, its base chosen, the document loaded and scanned, and its links
// listed. The scan is also compared with the plain model of the scan; a
// difference aborts. Used by the fuzzer and by the replay of kept inputs.
void CheckListingOnInput(const std::string& bytes);

}  // namespace movrek::fuzzing
