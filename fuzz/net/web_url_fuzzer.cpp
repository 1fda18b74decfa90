// Arbitrary bytes as hrefs from untrusted pages, alone and against a base.
#include <cstddef>
#include <cstdint>

#include "fuzz/net/web_url_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzz::CheckWebUrl(data, size);
  return 0;
}
