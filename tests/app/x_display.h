// A private X server for the window tests, so that focus, the clipboard,
// window flags and key events are those of a real display.
#pragma once

#include <sys/types.h>

#include <string>

namespace movrek::test {

// Starts Xvfb on a free display number and points DISPLAY at it for this
// process; stops it on destruction. Without Xvfb installed, Started() is
// false and Problem() says why.
class TXDisplay {
 public:
  TXDisplay();
  ~TXDisplay();
  TXDisplay(const TXDisplay&) = delete;
  TXDisplay& operator=(const TXDisplay&) = delete;

  bool Started() const { return pid_ > 0; }
  const std::string& Problem() const { return problem_; }

 private:
  pid_t pid_ = -1;
  std::string problem_;
};

}  // namespace movrek::test
