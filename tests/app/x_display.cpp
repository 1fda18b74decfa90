#include "tests/app/x_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "tests/helpers/peers.h"

namespace movrek::test {

TXDisplay::TXDisplay() {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) {
    problem_ = "Xvfb is not installed";
    return;
  }
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) {
    problem_ = "pipe failed";
    return;
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    // Its complaints about displays already taken are noise in test logs.
    const int quiet = ::open("/dev/null", O_WRONLY);
    if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
    // The server picks a free display and writes its number to the pipe
    // once it accepts clients, which avoids both races and guessing.
    const std::string fd = std::to_string(pipe_fds[1]);
    ::execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
            "-nolisten", "tcp", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  if (pid < 0) {
    ::close(pipe_fds[0]);
    problem_ = "fork failed";
    return;
  }
  pid_ = pid;
  std::string number;
  pollfd wait_for{pipe_fds[0], POLLIN, 0};
  char c;
  while (::poll(&wait_for, 1, 10000) > 0 && ::read(pipe_fds[0], &c, 1) == 1 && c != '\n') {
    number += c;
  }
  ::close(pipe_fds[0]);
  if (number.empty()) {
    problem_ = "Xvfb did not report a display";
    return;
  }
  ::setenv("DISPLAY", (":" + number).c_str(), 1);
}

TXDisplay::~TXDisplay() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace movrek::test
