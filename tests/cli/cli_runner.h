// movrek-cli run as a separate process: its arguments, standard input, two
// output streams, exit status and temporary directory.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/helpers/peers.h"

namespace movrek::test {

struct CliRun {
  int status = -1;  // exit code; 128 + signal when killed
  std::string out;
  std::string err;
};

// Runs movrek-cli with the arguments; standard input from `input`. The
// temporary directory of the program is `tmpdir`.
class CliRunner {
 public:
  CliRunner();

  // An environment entry "NAME=VALUE" for the runs that follow.
  void AddEnvironment(std::string entry) { environment_.push_back(std::move(entry)); }
  pid_t Spawn(const std::vector<std::string>& args, const std::string& input);
  // Waits up to 60 s, then kills the program.
  CliRun Wait(pid_t pid);
  CliRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    return Wait(Spawn(args, input));
  }

  std::string Out() const { return ReadFileText(dir_.File("stdout")); }
  std::string File(const std::string& name) const { return dir_.File(name); }
  std::string Write(const std::string& name, const std::string& text) {
    return dir_.Write(name, text);
  }
  const std::string& tmpdir() const { return tmpdir_; }

 private:
  TempDir dir_;
  std::string tmpdir_;
  std::vector<std::string> environment_;
};

// Names in a directory, dot files left out.
std::vector<std::string> FilesIn(const std::string& dir);

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

}  // namespace movrek::test
