#include "html/html_errors.h"

namespace movrek {

namespace {

// Built by appending: GCC 12 warns falsely (-Wrestrict) about "literal" + string.
std::string Joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) {
    text.append(part);
  }
  return text;
}

}  // namespace

EListError::EListError(long long index)
    : std::runtime_error(Joined({"List index out of bounds (", std::to_string(index), ")"})),
      index_(index) {}

EFileOpenError::EFileOpenError(const std::string& fileName, const std::string& reason)
    : std::runtime_error(Joined({"Cannot open file \"", fileName, "\". ", reason})),
      file_name_(fileName) {}

}  // namespace movrek
