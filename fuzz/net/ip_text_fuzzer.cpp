// Address texts from untrusted input (hosts in links, proxy replies): no
// input may crash, and every 16-byte address written as text must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/base/ip_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  movrek::IsByteText(text);
  movrek::IsIPv4Text(text);
  movrek::IsIPv6Text(text);
  if (movrek::IPv4ToBytes(text).size() != 4) std::abort();
  const movrek::TIPv6Bytes parsed = movrek::TextToIPv6(text);
  const std::string written = movrek::IPv6ToText(parsed);
  if (movrek::TextToIPv6(written) != parsed) std::abort();

  if (size >= 16) {
    movrek::TIPv6Bytes bytes{};
    for (std::size_t i = 0; i < 16; ++i) bytes[i] = data[i];
    const std::string asText = movrek::IPv6ToText(bytes);
    if (movrek::TextToIPv6(asText) != bytes) std::abort();
  }
  return 0;
}
