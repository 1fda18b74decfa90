// Arbitrary bytes as a Content-Type value and a saved page: sniffed, decoded
// and listed as a job lists it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/html/page_text_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzzing::CheckPageTextOnInput(
      std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
