// Arbitrary bytes as a base and an href, parsed as browsers parse them.
#include <cstddef>
#include <cstdint>

#include "fuzz/net/web_url_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzz::CheckWebUrl(data, size);
  return 0;
}
