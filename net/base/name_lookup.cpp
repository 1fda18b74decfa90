#include "net/base/name_lookup.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "net/base/base_limits.h"
#include "net/base/ip_text.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// c-ares wants its process-wide start once before the first channel; on
// this platform it has nothing to undo, so it is never ended.
bool StartAresLibrary() {
  static const int status = ares_library_init(ARES_LIB_INIT_ALL);
  return status == ARES_SUCCESS;
}

// One resolver channel, made for one lookup: the host table and resolv.conf
// are read afresh, as the system resolver does for each call.
class TAresChannel {
 public:
  explicit TAresChannel(const TNameServers* servers) {
    if (!StartAresLibrary()) {
      status_ = ARES_ENOTINITIALIZED;
      return;
    }
    const bool own = servers != nullptr && !servers->Addresses.empty();
    char lookups[] = "fb";  // the host table first, then the name servers
    ares_options options{};
    options.lookups = lookups;
    options.timeout = kDefaultNameServerTimeoutMs;
    options.tries = kDefaultNameServerTries;
    if (own && servers->TimeoutMs > 0) {
      options.timeout = servers->TimeoutMs;
      options.tries = 1;
    }
    status_ = ares_init_options(&channel_, &options,
                                ARES_OPT_LOOKUPS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
    if (status_ == ARES_SUCCESS && own) {
      status_ = ares_set_servers_ports_csv(channel_, servers->Addresses.c_str());
    }
  }
  ~TAresChannel() {
    if (channel_ != nullptr) {
      ares_destroy(channel_);
    }
  }
  TAresChannel(const TAresChannel&) = delete;
  TAresChannel& operator=(const TAresChannel&) = delete;

  int Status() const { return status_; }
  ares_channel Get() const { return channel_; }

 private:
  ares_channel channel_ = nullptr;
  int status_ = ARES_SUCCESS;
};

struct TLookupState {
  bool Done = false;
  int Status = ARES_SUCCESS;
  std::vector<TSockAddrAny>* Found = nullptr;
};

void OnLookupDone(void* arg, int status, int timeouts, ares_addrinfo* result) {
  (void)timeouts;
  auto& state = *static_cast<TLookupState*>(arg);
  state.Done = true;
  state.Status = status;
  if (result == nullptr) {
    return;
  }
  for (const ares_addrinfo_node* node = result->nodes; node != nullptr; node = node->ai_next) {
    if (node->ai_family != AF_INET && node->ai_family != AF_INET6) {
      continue;
    }
    TSockAddrAny addr;
    const auto length = std::min<std::size_t>(node->ai_addrlen, sizeof(TSockAddrAny));
    std::memcpy(static_cast<void*>(addr.Raw()), node->ai_addr, length);
    state.Found->push_back(addr);
  }
  ares_freeaddrinfo(result);
}

// Waits at most one slice for the channel's sockets, then lets c-ares read
// what arrived and count its time-outs.
void WaitOneSlice(ares_channel channel) {
  ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
  const int bits = ares_getsock(channel, sockets, ARES_GETSOCK_MAXNUM);
  pollfd fds[ARES_GETSOCK_MAXNUM];
  nfds_t count = 0;
  for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
    const bool readable = ARES_GETSOCK_READABLE(bits, i) != 0;
    const bool writable = ARES_GETSOCK_WRITABLE(bits, i) != 0;
    if (!readable && !writable) {
      continue;
    }
    fds[count].fd = sockets[i];
    fds[count].events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
    fds[count].revents = 0;
    ++count;
  }
  timeval slice{0, static_cast<suseconds_t>(kNameLookupSliceMs) * 1000};
  timeval wait{};
  const timeval* until = ares_timeout(channel, &slice, &wait);
  const int waitMs = static_cast<int>(until->tv_sec * 1000 + until->tv_usec / 1000);
  if (::poll(fds, count, std::max(waitMs, 1)) <= 0) {
    ares_process_fd(channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
    return;
  }
  for (nfds_t i = 0; i < count; ++i) {
    const bool in = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    const bool out = (fds[i].revents & POLLOUT) != 0;
    ares_process_fd(channel, in ? fds[i].fd : ARES_SOCKET_BAD, out ? fds[i].fd : ARES_SOCKET_BAD);
  }
}

int ResolverCodeOf(int aresStatus) {
  switch (aresStatus) {
    case ARES_SUCCESS:
      return 0;
    case ARES_ENOTFOUND:
    case ARES_ENODATA:
      return EAI_NONAME;
    case ARES_ETIMEOUT:
    case ARES_ESERVFAIL:
    case ARES_ECONNREFUSED:
    case ARES_EREFUSED:
      return EAI_AGAIN;
    case ARES_ENOMEM:
      return EAI_MEMORY;
    default:
      return EAI_FAIL;
  }
}

// One item of a name server list: "1.2.3.4", "1.2.3.4:53", "::1",
// "[::1]:53".
bool IsNameServer(std::string_view item) {
  std::string_view address = item;
  std::string_view port;
  if (!item.empty() && item.front() == '[') {
    const std::size_t close = item.find(']');
    if (close == std::string_view::npos) {
      return false;
    }
    address = item.substr(1, close - 1);
    const std::string_view rest = item.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || rest.size() == 1)) {
      return false;
    }
    port = rest.empty() ? rest : rest.substr(1);
    if (!IsIPv6Text(std::string(address))) {
      return false;
    }
  } else if (item.find(':') != item.rfind(':')) {
    return IsIPv6Text(std::string(item));
  } else {
    const std::size_t colon = item.find(':');
    address = item.substr(0, colon);
    port = colon == std::string_view::npos ? std::string_view() : item.substr(colon + 1);
    if (colon != std::string_view::npos && port.empty()) {
      return false;
    }
    if (!IsIPv4Text(std::string(address))) {
      return false;
    }
  }
  if (port.empty()) {
    return true;
  }
  const std::optional<std::uint64_t> number = ParseDigits(port, 65535);
  return number && *number > 0;
}

}  // namespace

bool IsNameServerList(const std::string& text) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t comma = text.find(',', from);
    const std::string_view item = std::string_view(text).substr(
        from, comma == std::string::npos ? std::string::npos : comma - from);
    if (!IsNameServer(item)) {
      return false;
    }
    if (comma == std::string::npos) {
      return true;
    }
    from = comma + 1;
  }
}

int LookupHostName(const std::string& name, int family, std::vector<TSockAddrAny>& found,
                   const std::atomic<bool>* stop, const TNameServers* servers) {
  found.clear();
  // Made before the channel, so that it outlives any call c-ares makes to
  // it while the channel is destroyed.
  TLookupState state;
  state.Found = &found;
  TAresChannel channel(servers);
  if (channel.Status() != ARES_SUCCESS) {
    return ResolverCodeOf(channel.Status());
  }
  ares_addrinfo_hints hints{};
  hints.ai_family = family;
  ares_getaddrinfo(channel.Get(), name.c_str(), nullptr, &hints, OnLookupDone, &state);
  while (!state.Done) {
    if (stop != nullptr && stop->load()) {
      ares_cancel(channel.Get());  // calls OnLookupDone with ARES_ECANCELLED
      found.clear();
      return EAI_CANCELED;
    }
    WaitOneSlice(channel.Get());
  }
  return ResolverCodeOf(state.Status);
}

}  // namespace movrek
