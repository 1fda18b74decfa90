#include "engine/parallel/connection_pool.h"

#include <algorithm>
#include <utility>

#include "engine/parallel/parallel_limits.h"
#include "net/socket/socket_limits.h"

namespace movrek {

TConnectionPool::TConnectionPool(int perHost, std::chrono::milliseconds idleLimit)
    : per_host_(std::max(perHost, 1)),
      idle_limit_(idleLimit),
      sessions_(std::make_shared<TTlsSessionCache>(kMaxCachedTlsSessions)) {}

TConnectionPool::~TConnectionPool() {
  for (TIdle& entry : idle_) {
    CloseIdleConnection(*entry.Connection.Sock);
  }
}

std::optional<TPooledConnection> TConnectionPool::Take(const std::string& key) {
  std::vector<TPooledConnection> closing;
  std::optional<TPooledConnection> found;
  {
    std::lock_guard<std::mutex> guard(lock_);
    TakeExpired(TClock::now(), closing);
    // The newest first: the one least likely to have been closed by now.
    for (auto entry = idle_.rbegin(); entry != idle_.rend(); ++entry) {
      if (entry->Key == key) {
        found = std::move(entry->Connection);
        idle_.erase(std::next(entry).base());
        break;
      }
    }
  }
  return found;  // `closing` closes its sockets here, outside the lock
}

void TConnectionPool::Give(const std::string& key, const std::string& host,
                           TPooledConnection connection) {
  std::vector<TPooledConnection> closing;
  std::lock_guard<std::mutex> guard(lock_);
  const TClock::time_point now = TClock::now();
  TakeExpired(now, closing);
  idle_.push_back(TIdle{key, host, std::move(connection), now});
  TakeExcess(host, closing);
  // The lock is released before `closing` goes (declared first, it is
  // destroyed last).
}

void TConnectionPool::CloseExpired(TClock::time_point now) {
  std::vector<TPooledConnection> closing;
  std::lock_guard<std::mutex> guard(lock_);
  TakeExpired(now, closing);
}

std::size_t TConnectionPool::IdleCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return idle_.size();
}

void TConnectionPool::TakeExpired(TClock::time_point now, std::vector<TPooledConnection>& closing) {
  while (!idle_.empty() && now - idle_.front().Since >= idle_limit_) {
    closing.push_back(std::move(idle_.front().Connection));
    idle_.pop_front();
  }
}

void TConnectionPool::TakeExcess(const std::string& host, std::vector<TPooledConnection>& closing) {
  const auto of_host = [&](const TIdle& entry) { return entry.Host == host; };
  while (std::count_if(idle_.begin(), idle_.end(), of_host) > per_host_) {
    const auto oldest = std::find_if(idle_.begin(), idle_.end(), of_host);
    closing.push_back(std::move(oldest->Connection));
    idle_.erase(oldest);
  }
  while (idle_.size() > kMaxIdleConnections) {
    closing.push_back(std::move(idle_.front().Connection));
    idle_.pop_front();
  }
}

void CloseIdleConnection(TTCPBlockSocket& sock) {
  if (sock.TlsPlugin->TlsActive) {
    sock.TlsPlugin->EndTls();
  }
  sock.DropHandle();
}

void CopySocketHooks(const TTCPBlockSocket& from, TTCPBlockSocket& to) {
  to.OnStatus = from.OnStatus;
  to.OnReadFilter = from.OnReadFilter;
  to.OnCreateSocket = from.OnCreateSocket;
  to.OnMonitor = from.OnMonitor;
  to.OnHeartbeat = from.OnHeartbeat;
  to.OnAfterConnect = from.OnAfterConnect;
}

std::unique_ptr<TTCPBlockSocket> UnconnectedLike(const TTCPBlockSocket& model) {
  auto sock = std::make_unique<TTCPBlockSocket>();
  CopySocketHooks(model, *sock);
  sock->HeartbeatRate = model.HeartbeatRate;
  sock->ConvertLineEnd = model.ConvertLineEnd;
  sock->YieldBeforeReceive = model.YieldBeforeReceive;
  sock->RaiseExcept = model.RaiseExcept;
  sock->ChangeFamily(model.FamilyDefault);
  sock->PreferIP4 = model.PreferIP4;
  sock->NameServers = model.NameServers;
  sock->InterPacketTimeout = model.InterPacketTimeout;
  sock->MaxSendBandwidth = model.MaxSendBandwidth;
  sock->MaxRecvBandwidth = model.MaxRecvBandwidth;
  sock->SocksIP = model.SocksIP;
  sock->SocksPort = model.SocksPort;
  sock->SocksTimeout = model.SocksTimeout;
  sock->SocksUsername = model.SocksUsername;
  sock->SocksPassword = model.SocksPassword;
  sock->SocksResolver = model.SocksResolver;
  sock->SocksType = model.SocksType;
  sock->HTTPTunnelTimeout = model.HTTPTunnelTimeout;
  sock->TlsTimeout = model.TlsTimeout;
  sock->TlsPlugin->CopySettingsFrom(*model.TlsPlugin);
  return sock;
}

void ClearSocketHooks(TTCPBlockSocket& sock) {
  sock.OnStatus = nullptr;
  sock.OnReadFilter = nullptr;
  sock.OnCreateSocket = nullptr;
  sock.OnMonitor = nullptr;
  sock.OnHeartbeat = nullptr;
  sock.OnAfterConnect = nullptr;
}

}  // namespace movrek
