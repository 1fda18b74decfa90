#include "tests/helpers/scoped_env.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

using movrek::test::ScopedEnv;

constexpr const char* kName = "MOVREK_SCOPED_ENV_TEST";

std::optional<std::string> Read() {
  const char* value = std::getenv(kName);
  return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// Unset and set to the empty text are different states for the programs the
// tests start (TMPDIR="" is not the default /tmp): both must come back.
TEST(ScopedEnv, RestoresTheValueOrTheAbsenceFromBefore) {
  const std::optional<std::string> befores[] = {std::nullopt, "", "/old"};
  for (const auto& before : befores) {
    if (before) {
      ::setenv(kName, before->c_str(), 1);
    } else {
      ::unsetenv(kName);
    }
    {
      ScopedEnv env(kName, "/first");
      EXPECT_EQ(Read(), "/first");
      env.Set("/second");
      EXPECT_EQ(Read(), "/second");
    }
    EXPECT_EQ(Read(), before) << before.value_or("(unset)");
  }
  ::unsetenv(kName);
}

}  // namespace
