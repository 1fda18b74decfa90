#pragma once

#include <string_view>

namespace movrek::fuzzing {

// Takes the bytes as a Content-Type value (up to the first line feed) and a
// saved page (the rest; without a line feed, all of it, with no type), lists
// the page's links as a job does and aborts the process when a link's line
// is not one line of ASCII.
void CheckPageTextOnInput(std::string_view bytes);

}  // namespace movrek::fuzzing
