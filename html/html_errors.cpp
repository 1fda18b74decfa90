#include "html/html_errors.h"

namespace movrek {

EListError::EListError(long long index)
    : std::runtime_error("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

EFileOpenError::EFileOpenError(const std::string& file_name, const std::string& reason)
    : std::runtime_error("Cannot open file \"" + file_name + "\". " + reason),
      file_name_(file_name) {}

}  // namespace movrek
