// Memory that the links of several pages, gathered while their bodies
// arrive, may take together. Each page may always take its own floor; past
// it, a page takes from what the others leave of the total. One page with
// many links thus has the whole total while the other workers of a console
// job fetch small pages, and many such pages at once are still bounded.
#pragma once

#include <atomic>
#include <cstdint>

namespace movrek {

class TLinkMemoryBudget {
 public:
  explicit TLinkMemoryBudget(std::int64_t total) : total_(total) {}

  // A page that holds held bytes, with floor as its own, asks for more:
  // whether it may take them (they are counted then).
  bool Take(std::int64_t held, std::int64_t more, std::int64_t floor) {
    if (held + more <= floor) {
      used_.fetch_add(more);
      return true;
    }
    std::int64_t used = used_.load();
    while (used + more <= total_) {
      if (used_.compare_exchange_weak(used, used + more)) {
        return true;
      }
    }
    return false;
  }
  void Give(std::int64_t bytes) { used_.fetch_sub(bytes); }

 private:
  const std::int64_t total_;
  std::atomic<std::int64_t> used_{0};
};

}  // namespace movrek
