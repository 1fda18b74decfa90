#pragma once
// A file system that is full, as far as this process and the processes it
// starts meanwhile can tell: no regular file may grow past `bytes`; a write
// beyond fails with EFBIG instead of raising SIGXFSZ (ignored here, and so in
// programs started meanwhile). Both come back as they were.

#include <signal.h>
#include <sys/resource.h>

#include <cstddef>

namespace movrek::test {

class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(std::size_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &before_);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &handler_);
    rlimit limited = before_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &before_);
    ::sigaction(SIGXFSZ, &handler_, nullptr);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  rlimit before_{};
  struct sigaction handler_ {};
};

}  // namespace movrek::test
