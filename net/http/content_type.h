#pragma once

#include <string>
#include <vector>

namespace movrek {

// The value of the Content-Type field of the final response in a response
// head as THttpTransaction::Headers holds it (interim answers first, each
// opened by its status line); the last such field counts. Empty when there
// is none.
std::string ResponseContentType(const std::vector<std::string>& headLines);

}  // namespace movrek
