#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek::fuzz {

// Runs one HTTP transaction whose server answers with `response` (written
// at once, then the server closes its sending side) and aborts the process
// when the client breaks an invariant. The first byte chooses the request:
// bit 0 HEAD, bit 1 version 1.1, bit 2 a body with Expect: 100-continue,
// bit 3 cookies already stored.
void FeedResponse(const std::uint8_t* data, std::size_t size);

}  // namespace movrek::fuzz
