// Reads one response with the socket-free head parser and body decoder, as
// THttpTransaction does, and writes down what came out: the same text
// whatever pieces the response arrived in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace movrek::fuzz {

struct TParseOptions {
  bool head = false;    // the answer to a HEAD request: no body
  bool expect = false;  // the request waited for "100 Continue"
  std::size_t maxLine = 65536;
};

// The response fed in pieces that end at `cuts` (ascending offsets), then
// the connection closed. One line per event: "head CODE REASON" with the
// head's lines, "body BYTES" (consecutive pieces joined), "end", "message",
// "failed KIND", "abandoned", "left N" (bytes not taken).
std::string ParseEvents(std::string_view response, const std::vector<std::size_t>& cuts,
                        const TParseOptions& options);

// Every offset from 1 to size-1 cut once: byte by byte.
std::vector<std::size_t> EveryOffset(std::size_t size);

// Aborts unless `data` reads the same whole and in pieces. The first byte
// chooses: bit 0 the answer to HEAD, bit 1 an Expect request, bit 2 head
// lines bounded at 24 bytes, bits 4 to 7 the piece size (1 to 16 bytes);
// the rest is the answer.
void CheckParseEvents(const std::uint8_t* data, std::size_t size);

}  // namespace movrek::fuzz
