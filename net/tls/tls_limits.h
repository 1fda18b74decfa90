// Named sizes of the TLS layer, in one place where tests can reach them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek {

// Buffer for one certificate name as text (subject or issuer).
inline constexpr int kNameTextBytes = 4096;
// OpenSSL's read buffer: room for four full records and their framing.
inline constexpr std::size_t kTlsReadBufferBytes = std::size_t{4} * (16384 + 256 + 5);
// The most plaintext one record carries (RFC 8446 section 5.1).
inline constexpr std::int32_t kMaxRecordPlaintextBytes = 16384;

}  // namespace movrek
