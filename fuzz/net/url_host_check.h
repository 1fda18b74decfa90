#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek::fuzz {

// Takes the bytes as one line of the URL list, normalises it as the job does
// and splits it as a request does, and aborts the process when the request
// would reach a host or port other than the one the line names by RFC 3986
// (the authority after the scheme, up to the first "/", "?" or "#", the host
// after its last "@"), or when the line would go out without a scheme.
void CheckUrlLine(const std::uint8_t* data, std::size_t size);

}  // namespace movrek::fuzz
