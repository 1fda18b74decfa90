#include "tests/helpers/kept_inputs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace movrek::test {

std::vector<KeptInput> ReadKeptInputs(const std::string& source_dir, const std::string& name) {
  std::vector<KeptInput> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(source_dir) / "fuzz" / kind / name;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      inputs.push_back({entry.path().string(), std::string(std::istreambuf_iterator<char>(in),
                                                           std::istreambuf_iterator<char>())});
    }
  }
  return inputs;
}

void ReplayKeptInputs(const std::string& source_dir, const std::string& name,
                      const std::function<void(const std::string& bytes)>& check) {
  const auto inputs = ReadKeptInputs(source_dir, name);
  EXPECT_FALSE(inputs.empty()) << "no kept inputs for " << name;
  for (const auto& input : inputs) {
    SCOPED_TRACE(input.path);
    check(input.bytes);
  }
}

}  // namespace movrek::test
