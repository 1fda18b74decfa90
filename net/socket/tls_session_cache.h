// TLS sessions to resume, shared by the connections of one owner (a job) so
// that a second connection to a host skips the full handshake. A session is
// kept as the TLS plug-in's own opaque bytes under a key the plug-in makes
// (server name, port, verification); any thread.
#pragma once

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace movrek {

class TTlsSessionCache {
 public:
  explicit TTlsSessionCache(std::size_t maxSessions);

  // The newest session kept for the key.
  std::optional<std::string> Find(const std::string& key) const;
  // Keeps the session in place of the key's older one; when full, an
  // arbitrary other key's session makes room.
  void Store(const std::string& key, std::string session);

 private:
  const std::size_t max_sessions_;
  mutable std::mutex lock_;
  std::map<std::string, std::string> sessions_;  // guarded by lock_
};

}  // namespace movrek
