#include "tests/helpers/scoped_env.h"

#include <cstdlib>
#include <utility>

namespace movrek::test {

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) old_ = old;
  Set(value);
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    ::setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    ::unsetenv(name_.c_str());
  }
}

void ScopedEnv::Set(const std::string& value) const {
  ::setenv(name_.c_str(), value.c_str(), 1);
}

}  // namespace movrek::test
