#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/html/listing_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzzing::CheckListingOnInput(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
