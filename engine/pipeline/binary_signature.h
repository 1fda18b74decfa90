// Telling a binary file from a page by its first bytes, for bodies that come
// without a Content-Type.
#pragma once

#include <string>
#include <string_view>

namespace movrek {

// The media type of the file `head` starts (a PDF, an archive, an image, a
// program, ...: a known signature, else a NUL byte makes it
// "application/octet-stream"); empty when it may be text.
std::string BinaryTypeOf(std::string_view head);

// RFC 9110 section 8.3.1 media types the listing reads as pages: text/html
// and application/xhtml+xml. `mediaType` is lower case, without parameters.
bool IsPageType(const std::string& mediaType);

}  // namespace movrek
