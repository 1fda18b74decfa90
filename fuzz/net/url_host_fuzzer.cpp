// Arbitrary bytes as a line of the URL list: the request may only ever go to
// the host and port the line names.
#include <cstddef>
#include <cstdint>

#include "fuzz/net/url_host_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzz::CheckUrlLine(data, size);
  return 0;
}
