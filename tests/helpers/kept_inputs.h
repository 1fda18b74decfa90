// The inputs a fuzz target keeps in the tree (its seeds and every crash input
// ever found), for replaying them in the ordinary test suite.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace movrek::test {

struct KeptInput {
  std::string path;
  std::string bytes;
};

// Every regular file below fuzz/corpus/<name> and fuzz/regressions/<name> of
// the source tree, in no particular order; folders that do not exist are
// skipped.
std::vector<KeptInput> ReadKeptInputs(const std::string& source_dir, const std::string& name);

// Runs `check` on the bytes of every kept input of `name`, each under a trace
// of its path; a target that keeps no input at all is a failure.
void ReplayKeptInputs(const std::string& source_dir, const std::string& name,
                      const std::function<void(const std::string& bytes)>& check);

}  // namespace movrek::test
