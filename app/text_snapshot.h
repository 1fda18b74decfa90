// A list's whole text copied on whichever thread asks for it first: a job
// takes the URL list at Start without the window's thread copying tens of
// megabytes, while the list stays editable.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace movrek::app {

// The bytes of `text` in a new string, in huge pages where they fit: a
// copy of tens of megabytes then costs a few page faults, not thousands.
std::string CopyText(std::string_view text);

// Borrows the text in place until the copy is made; the owner of the text
// calls Settle before changing or freeing it.
class TTextSnapshot {
 public:
  explicit TTextSnapshot(std::string_view text) : text_(text) {}
  TTextSnapshot(const TTextSnapshot&) = delete;
  TTextSnapshot& operator=(const TTextSnapshot&) = delete;

  // Any thread, once: the text as it stood when the snapshot was made.
  std::string Take();
  // The owner's thread: the copy is made (here, unless another thread is
  // at it) before this returns; the text may change from then on.
  void Settle();

 private:
  enum class TState { Pinned, Copying, Copied };
  void Copy(std::unique_lock<std::mutex>& guard);

  std::mutex lock_;
  std::condition_variable copied_;
  std::string_view text_;  // borrowed while Pinned or Copying
  TState state_ = TState::Pinned;
  std::string copy_;
};

}  // namespace movrek::app
