// Arbitrary bytes as a server's answer, read by the socket-free head parser
// and body decoder whole and in pieces of a size the input chooses
// (CheckParseEvents).
#include <cstddef>
#include <cstdint>

#include "fuzz/net/http_parse_events.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  movrek::fuzz::CheckParseEvents(data, size);
  return 0;
}
