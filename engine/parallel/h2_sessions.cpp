#include "engine/parallel/h2_sessions.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace movrek {

namespace {
// How often a page waiting for another's probe looks for a stop.
constexpr std::chrono::milliseconds kProbeWaitSlice{50};
}  // namespace

TH2Sessions::TH2Sessions(int streams, int http1Limit, std::chrono::milliseconds idleLimit,
                         std::function<void()> onGrown)
    : streams_(std::max(streams, 1)),
      http1_limit_(std::max(http1Limit, 1)),
      idle_limit_(idleLimit),
      on_grown_(std::move(onGrown)) {}

int TH2Sessions::Capacity(const std::string& host) const {
  std::lock_guard<std::mutex> guard(capacity_lock_);
  const auto found = capacities_.find(host);
  return found != capacities_.end() ? found->second : http1_limit_;
}

void TH2Sessions::SetCapacity(const std::string& host, int capacity) {
  {
    std::lock_guard<std::mutex> guard(capacity_lock_);
    capacities_[host] = std::clamp(capacity, 1, streams_);
  }
  if (on_grown_) {
    on_grown_();
  }
}

TH2Sessions::~TH2Sessions() = default;

TH2Sessions::TLease TH2Sessions::Find(const std::string& key,
                                      const std::function<bool()>& stopped) {
  std::shared_ptr<THttp2Session> ended;  // closed outside the lock
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    if (stopped()) {
      return {TWay::Stopped, nullptr};
    }
    TEntry& entry = entries_[key];
    if (entry.Http1) {
      return {TWay::Http1, nullptr};
    }
    if (entry.Session != nullptr && entry.Session->Usable()) {
      return {TWay::Http2, entry.Session};
    }
    if (!entry.Probing) {
      ended = std::move(entry.Session);
      entry.Probing = true;
      return {TWay::Probe, nullptr};
    }
    settled_.wait_for(guard, kProbeWaitSlice);
  }
}

std::shared_ptr<THttp2Session> TH2Sessions::Settle(const std::string& key, const std::string& host,
                                                   std::unique_ptr<TTCPBlockSocket> sock) {
  std::shared_ptr<THttp2Session> session;
  // Before the connection runs: its server's own limit comes after this.
  SetCapacity(host, sock != nullptr ? streams_ : http1_limit_);
  if (sock != nullptr) {
    session = std::make_shared<THttp2Session>(
        std::move(sock), [this, host](int limit) { SetCapacity(host, limit); });
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    TEntry& entry = entries_[key];
    entry.Probing = false;
    entry.Http1 = session == nullptr;
    entry.Session = session;
  }
  settled_.notify_all();
  return session;
}

void TH2Sessions::Forget(const std::string& key, const THttp2Session* session) {
  std::shared_ptr<THttp2Session> dropped;
  {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
      return;
    }
    if (session == nullptr) {
      found->second.Probing = false;
    } else if (found->second.Session.get() == session) {
      dropped = std::move(found->second.Session);
    }
  }
  settled_.notify_all();
}

void TH2Sessions::CloseExpired(TClock::time_point now) {
  std::vector<std::shared_ptr<THttp2Session>> closing;
  std::lock_guard<std::mutex> guard(lock_);
  for (auto& [key, entry] : entries_) {
    const THttp2Session* session = entry.Session.get();
    if (session != nullptr && session->Streams() == 0 &&
        (!session->Usable() || now - session->IdleSince() >= idle_limit_)) {
      closing.push_back(std::move(entry.Session));
    }
  }
  // `closing`, declared before the lock, is closed after it is released.
}

}  // namespace movrek
