// The scan of a large body on a thread of its own, so that one piece is
// scanned while the next arrives and a page costs the longer of the two, not
// their sum. Small bodies (most pages) are scanned on the fetching thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace movrek {

class TPageLinks;

class TBackgroundScan {
 public:
  // links is the fetching thread's again after Finish and Restart.
  explicit TBackgroundScan(TPageLinks& links);
  TBackgroundScan(const TBackgroundScan&) = delete;
  TBackgroundScan& operator=(const TBackgroundScan&) = delete;
  // Stops the thread; what was not scanned yet is dropped.
  ~TBackgroundScan();

  // TPageLinks::Restart, once what came before is dropped or scanned.
  void Restart(std::string contentType, std::string address);
  // TPageLinks::Feed, now or on the thread. While too much waits for the
  // thread, the links it found are resolved meanwhile.
  void Feed(std::string_view bytes);
  // Waits until every byte fed is scanned; rethrows what the scan threw.
  void Finish();

 private:
  void Run();
  void WaitIdle(std::unique_lock<std::mutex>& lock);

  TPageLinks& links_;
  std::int64_t fed_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> waiting_;
  std::vector<std::string> spare_;  // emptied pieces, kept for the next
  std::int64_t waiting_bytes_ = 0;
  bool scanning_ = false;
  bool stop_ = false;
  std::exception_ptr failure_;
};

}  // namespace movrek
