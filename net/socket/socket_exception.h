// The exception raised by a socket whose RaiseExcept is set.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace movrek {

class ESocketError : public std::runtime_error {
 public:
  // The message reads "TCP/IP Socket error <code>: <text>".
  ESocketError(std::int32_t code, const std::string& text);
  // A failure without a socket error number (for example a socket layer
  // that could not start); the message is used as it stands.
  ESocketError(std::int32_t code, std::string text, const std::string& message);

  std::int32_t ErrorCode = 0;
  std::string ErrorMessage;
};

}  // namespace movrek
