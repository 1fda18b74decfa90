#include "net/socket/tls_session_cache.h"

#include <utility>

namespace movrek {

TTlsSessionCache::TTlsSessionCache(std::size_t maxSessions)
    : max_sessions_(maxSessions < 1 ? 1 : maxSessions) {}

std::optional<std::string> TTlsSessionCache::Find(const std::string& key) const {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = sessions_.find(key);
  if (found == sessions_.end()) {
    return std::nullopt;
  }
  return found->second;
}

void TTlsSessionCache::Store(const std::string& key, std::string session) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = sessions_.find(key);
  if (found != sessions_.end()) {
    found->second = std::move(session);
    return;
  }
  if (sessions_.size() >= max_sessions_) {
    sessions_.erase(sessions_.begin());
  }
  sessions_.emplace(key, std::move(session));
}

}  // namespace movrek
