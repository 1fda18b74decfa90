// Arbitrary bytes as a server's answer: no response may crash the client,
// make it read outside its buffers or commit memory for sizes it only
// announces.
#include <cstddef>
#include <cstdint>

#include "fuzz/net/http_response_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzz::FeedResponse(data, size);
  return 0;
}
