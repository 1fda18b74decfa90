#include "net/socket/socket_exception.h"

#include <string>
#include <utility>

namespace movrek {

ESocketError::ESocketError(std::int32_t code, const std::string& text)
    : ESocketError(code, text, "TCP/IP Socket error " + std::to_string(code) + ": " + text) {}

ESocketError::ESocketError(std::int32_t code, std::string text, const std::string& message)
    : std::runtime_error(message), ErrorCode(code), ErrorMessage(std::move(text)) {}

}  // namespace movrek
