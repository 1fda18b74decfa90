#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace movrek {

// An index outside a list: "List index out of bounds (%d)".
class EListError : public std::runtime_error {
 public:
  explicit EListError(long long index);
  [[nodiscard]] long long Index() const { return index_; }

 private:
  long long index_;
};

// A file that cannot be opened or read: "Cannot open file "%s". %s", with the
// file name and the system's reason.
class EFileOpenError : public std::runtime_error {
 public:
  EFileOpenError(const std::string& fileName, const std::string& reason);
  [[nodiscard]] const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
};

}  // namespace movrek
