#include "tests/cli/cli_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace movrek::test {

using namespace std::chrono_literals;

CliRunner::CliRunner() {
  tmpdir_ = dir_.File("tmp");
  MakeDirs(tmpdir_);
}

pid_t CliRunner::Spawn(const std::vector<std::string>& args, const std::string& input) {
  dir_.Write("stdin", input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, dir_.File("stdin").c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, dir_.File("stdout").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, dir_.File("stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argv_text = {MOVREK_CLI_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text = {"TMPDIR=" + tmpdir_, "PATH=/usr/bin:/bin"};
  env_text.insert(env_text.end(), environment_.begin(), environment_.end());
  std::vector<char*> env;
  for (auto& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, MOVREK_CLI_PATH, &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

CliRun CliRunner::Wait(pid_t pid) {
  CliRun run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(5ms);
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = Out();
  run.err = ReadFileText(dir_.File("stderr"));
  return run;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    ::closedir(d);
  }
  return names;
}

}  // namespace movrek::test
