#include "net/base/name_lookup.h"

#include <ares.h>
#include <netdb.h>
#include <poll.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/base/base_limits.h"

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
  TAresChannel() {
    if (!StartAresLibrary()) {
      status_ = ARES_ENOTINITIALIZED;
      return;
    }
    const char* testServer = std::getenv("MOVREK_TEST_DNS_SERVER");
    const char* testTimeout = std::getenv("MOVREK_TEST_DNS_TIMEOUT_MS");
    char lookups[] = "fb";  // the host table first, then the name servers
    ares_options options{};
    options.lookups = lookups;
    options.timeout = kDefaultNameServerTimeoutMs;
    options.tries = kDefaultNameServerTries;
    if (testServer != nullptr && testTimeout != nullptr) {
      options.timeout = std::max(1, std::atoi(testTimeout));
      options.tries = 1;
    }
    status_ = ares_init_options(&channel_, &options,
                                ARES_OPT_LOOKUPS | ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES);
    if (status_ == ARES_SUCCESS && testServer != nullptr) {
      status_ = ares_set_servers_ports_csv(channel_, testServer);
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

}  // namespace

int LookupHostName(const std::string& name, int family, std::vector<TSockAddrAny>& found,
                   const std::atomic<bool>* stop) {
  found.clear();
  // Made before the channel, so that it outlives any call c-ares makes to
  // it while the channel is destroyed.
  TLookupState state;
  state.Found = &found;
  TAresChannel channel;
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
