#include "net/base/wake_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace movrek {

TWakeEvent::TWakeEvent() : handle_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (handle_ < 0) {
    throw std::system_error(errno, std::generic_category(), "eventfd");
  }
}

TWakeEvent::~TWakeEvent() {
  close(handle_);
}

void TWakeEvent::Signal() {
  const std::uint64_t one = 1;
  // A full counter (never reached) or a signal already pending both wake.
  [[maybe_unused]] const ssize_t written = write(handle_, &one, sizeof one);
}

void TWakeEvent::Clear() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_bytes = read(handle_, &count, sizeof count);
}

}  // namespace movrek
