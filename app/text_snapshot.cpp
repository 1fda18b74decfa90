#include "app/text_snapshot.h"

#include <utility>

#include "text/huge_pages.h"

namespace movrek::app {

std::string CopyText(std::string_view text) {
  std::string copy;
  copy.reserve(text.size());
  AdviseHugePages(copy.data(), text.size());
  copy.append(text);
  return copy;
}

void TTextSnapshot::Copy(std::unique_lock<std::mutex>& guard) {
  if (state_ == TState::Pinned) {
    state_ = TState::Copying;
    guard.unlock();
    std::string copy = CopyText(text_);
    guard.lock();
    copy_ = std::move(copy);
    state_ = TState::Copied;
    copied_.notify_all();
  }
  copied_.wait(guard, [this] { return state_ == TState::Copied; });
}

std::string TTextSnapshot::Take() {
  std::unique_lock<std::mutex> guard(lock_);
  Copy(guard);
  return std::move(copy_);
}

void TTextSnapshot::Settle() {
  std::unique_lock<std::mutex> guard(lock_);
  Copy(guard);
}

}  // namespace movrek::app
