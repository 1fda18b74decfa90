// An environment variable set for the life of an object: tests that point
// TMPDIR (or CI) somewhere else leave the process as they found it, even when
// an assertion ends them early.
#pragma once

#include <optional>
#include <string>

namespace movrek::test {

class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  // A new value until the end of the scope; the value from before the
  // object was made is still the one restored.
  void Set(const std::string& value) const;

 private:
  std::string name_;
  // Unset before (as opposed to set to the empty text).
  std::optional<std::string> old_;
};

}  // namespace movrek::test
