// Field values of a response head as THttpTransaction::Headers holds it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace movrek {

// The value of every header line named `name` (any letter case), in head
// order, without the whitespace around it (RFC 9110 section 5.5).
std::vector<std::string> HeaderFieldValues(const std::vector<std::string>& headers,
                                           std::string_view name);

// The media type of the last Content-Type line, lower case, without its
// parameters (RFC 9110 section 8.3.1); empty when there is none.
std::string MediaTypeOf(const std::vector<std::string>& headers);
// The whole value of the last Content-Type line, parameters and all ("text/html;
// charset=koi8-r"); empty when there is none.
std::string ContentTypeOf(const std::vector<std::string>& headers);

// A request head (request line first) with the caller's lines applied: each
// "Name: value" takes the place of the lines of that name (any letter case)
// and goes last; "Name:" with nothing after it only removes them.
void ApplyHeaderOverrides(const std::vector<std::string>& overrides,
                          std::vector<std::string>& head);

}  // namespace movrek
