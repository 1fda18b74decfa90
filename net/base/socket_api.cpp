#include "net/base/socket_api.h"

#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <memory>

#include "net/base/name_lookup.h"
#include "net/base/winsock_errors.h"
#include "text/ascii_text.h"

namespace movrek {
namespace {

// Binding state. The socket calls are linked into the program, so the three
// modern resolver calls are always present and the IPv4-only fallback
// resolver is never needed.
struct TBindingState {
  int RefCount = 0;
  bool AddrInfoInStack = true;
  bool AddrInfoFromHelper = false;
};

TBindingState& Binding() {
  static TBindingState state;
  return state;
}

struct TAddrInfoDeleter {
  void operator()(addrinfo* list) const {
    if (list != nullptr) {
      freeaddrinfo(list);
    }
  }
};
using TAddrInfoList = std::unique_ptr<addrinfo, TAddrInfoDeleter>;
// The addresses one query gives, in resolver order.
using TAddressList = std::vector<TSockAddrAny>;

// RFC 6761 section 6.4: names under "invalid." never exist, and resolver
// libraries should say so at once instead of asking a name server that may
// not answer for a long time.
bool IsReservedInvalidName(const std::string& name) {
  std::string n = name;
  if (!n.empty() && n.back() == '.') {
    n.pop_back();
  }
  if (SameTextIgnoringCase(n, "invalid")) {
    return true;
  }
  return n.size() > 8 && SameTextIgnoringCase(n.substr(n.size() - 8), ".invalid");
}

void CopyAddress(const addrinfo& entry, TSockAddrAny& addr) {
  const auto length = std::min<std::size_t>(entry.ai_addrlen, sizeof(TSockAddrAny));
  std::memcpy(static_cast<void*>(addr.Raw()), entry.ai_addr, length);
}

// getaddrinfo for what needs no name server: a numeric host (or none) and
// the service. Returns EAI_NONAME when the host is a name.
int QueryLocal(const std::string* host, const std::string* service, addrinfo hints,
               TAddressList& list, int& errnoOut) {
  if (host != nullptr) {
    hints.ai_flags |= AI_NUMERICHOST;
  }
  addrinfo* raw = nullptr;
  const int code = getaddrinfo(host != nullptr ? host->c_str() : nullptr,
                               service != nullptr ? service->c_str() : nullptr, &hints, &raw);
  if (code == EAI_SYSTEM) {
    errnoOut = errno;
  }
  const TAddrInfoList owned(raw);
  for (const addrinfo* entry = raw; code == 0 && entry != nullptr; entry = entry->ai_next) {
    list.emplace_back();
    CopyAddress(*entry, list.back());
  }
  return code;
}

// A host name through the stoppable lookup, with the service's port (looked
// up first, as the system resolver does) put into every address.
int QueryName(const std::string& host, const std::string* service, const addrinfo& hints,
              TAddressList& list, int& errnoOut, const std::atomic<bool>* stop,
              const TNameServers* servers) {
  std::uint16_t port = 0;
  if (service != nullptr) {
    addrinfo serviceHints = hints;
    serviceHints.ai_flags = AI_PASSIVE;
    TAddressList wildcard;
    const int code = QueryLocal(nullptr, service, serviceHints, wildcard, errnoOut);
    if (code != 0) {
      return code;
    }
    port = wildcard.empty() ? 0 : htons(static_cast<std::uint16_t>(SockAddrPort(wildcard[0])));
  }
  const int code = LookupHostName(host, hints.ai_family, list, stop, servers);
  for (TSockAddrAny& addr : list) {
    addr.AddrIn.sin_port = port;  // the same place in both families
  }
  return code;
}

// One query with the reserved-name check in front; a null host or service
// is left out of the query. A text with a NUL byte in it is refused rather
// than cut short at the NUL, which would resolve a different name. Numeric
// hosts never reach a name server. Returns a getaddrinfo result code;
// errnoOut receives errno for EAI_SYSTEM.
int QueryAddrInfo(const std::string* host, const std::string* service, const addrinfo& hints,
                  TAddressList& list, int& errnoOut, const std::atomic<bool>* stop,
                  const TNameServers* servers = nullptr) {
  list.clear();
  errnoOut = 0;
  if (host != nullptr && (host->find('\0') != std::string::npos || IsReservedInvalidName(*host))) {
    return EAI_NONAME;
  }
  if (service != nullptr && service->find('\0') != std::string::npos) {
    return EAI_SERVICE;
  }
  const int code = QueryLocal(host, service, hints, list, errnoOut);
  if (code != EAI_NONAME || host == nullptr) {
    return code;
  }
  return QueryName(*host, service, hints, list, errnoOut, stop, servers);
}

// One query for a connect or bind address; copies the first entry into addr
// (left zero on failure). Returns the resolver code.
int LookupAddresses(const std::string& host, const std::string& port, addrinfo hints,
                    TAddressList& list, int& errnoOut, const std::atomic<bool>* stop,
                    const TNameServers* servers) {
  int code;
  if (hints.ai_socktype == SOCK_RAW) {
    hints.ai_socktype = 0;
    hints.ai_protocol = 0;
    code = QueryAddrInfo(&host, nullptr, hints, list, errnoOut, stop);
  } else if (host == "0.0.0.0" || host == "::0") {
    hints.ai_flags = AI_PASSIVE;
    code = QueryAddrInfo(nullptr, &port, hints, list, errnoOut, stop);
  } else if (host == "127.0.0.1" || host == "::1") {
    // Without AI_PASSIVE a missing host yields the loopback address of the
    // family asked for.
    code = QueryAddrInfo(nullptr, &port, hints, list, errnoOut, stop);
  } else {
    code = QueryAddrInfo(&host, &port, hints, list, errnoOut, stop, servers);
  }
  if (code == 0 && list.empty()) {
    code = EAI_NONAME;
  }
  return code;
}

// The hints of one family pass of FillSockAddr: the family asked for, or
// with AF_UNSPEC the preferred family first (pass 0) and the other second.
addrinfo PassHints(int family, bool preferIPv4, int pass, int protocol, int socketType) {
  addrinfo hints{};
  if (family == AF_UNSPEC) {
    hints.ai_family = (pass == 0) == preferIPv4 ? AF_INET : AF_INET6;
  } else {
    hints.ai_family = family;
  }
  hints.ai_socktype = socketType;
  hints.ai_protocol = protocol;
  return hints;
}

addrinfo AnyFamilyHints(int flags, int protocol, int socketType) {
  addrinfo hints{};
  hints.ai_flags = flags;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = socketType;
  hints.ai_protocol = protocol;
  return hints;
}

std::string NumericHostText(const sockaddr* address, socklen_t length) {
  char host[kNameInfoHostBytes];
  char service[kNameInfoServiceBytes];
  if (getnameinfo(address, length, host, sizeof host, service, sizeof service,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return std::string();
  }
  return host;
}

}  // namespace

// --- Binding ---------------------------------------------------------------

bool BindSocketLibrary(const std::string& libraryName) {
  (void)libraryName;  // Linked directly: there is no library to load by name.
  std::lock_guard<std::mutex> guard(SocketApiLock());
  TBindingState& state = Binding();
  if (state.RefCount == 0) {
    state.AddrInfoInStack = true;
    state.AddrInfoFromHelper = false;
  }
  ++state.RefCount;
  return true;
}

bool ReleaseSocketLibrary() {
  std::lock_guard<std::mutex> guard(SocketApiLock());
  TBindingState& state = Binding();
  if (state.RefCount > 0) {
    --state.RefCount;
  }
  return true;
}

int SocketLibraryRefCount() {
  std::lock_guard<std::mutex> guard(SocketApiLock());
  return Binding().RefCount;
}

bool AddrInfoInStack() {
  std::lock_guard<std::mutex> guard(SocketApiLock());
  return Binding().AddrInfoInStack;
}

bool AddrInfoFromHelper() {
  std::lock_guard<std::mutex> guard(SocketApiLock());
  return Binding().AddrInfoFromHelper;
}

bool UsesAddrInfo(int family) {
  std::lock_guard<std::mutex> guard(SocketApiLock());
  const TBindingState& state = Binding();
  return state.AddrInfoInStack || (family == AF_INET6 && state.AddrInfoFromHelper);
}

std::mutex& SocketApiLock() {
  static std::mutex lock;
  return lock;
}

int SocketStartup(std::uint16_t version) {
  (void)version;
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
  }
  return 0;
}

int SocketCleanup() {
  return 0;
}

// --- Addresses and resolution -------------------------------------------------

int FillSockAddr(TSockAddrAny& addr, const std::string& host, const std::string& port, int family,
                 int protocol, int socketType, bool preferIPv4, const std::atomic<bool>* stop,
                 const TNameServers* servers) {
  addr = TSockAddrAny();
  std::vector<TSockAddrAny> list;
  int code = FillSockAddrList(list, host, port, family, protocol, socketType, preferIPv4, 0, stop,
                              servers);
  if (code != 0 && code != WSAECONNABORTED && family == AF_UNSPEC) {
    code = FillSockAddrList(list, host, port, family, protocol, socketType, preferIPv4, 1, stop,
                            servers);
  }
  if (code == 0) {
    addr = list.front();
  }
  return code;
}

int FillSockAddrList(std::vector<TSockAddrAny>& list, const std::string& host,
                     const std::string& port, int family, int protocol, int socketType,
                     bool preferIPv4, int pass, const std::atomic<bool>* stop,
                     const TNameServers* servers) {
  list.clear();
  if (pass != 0 && family != AF_UNSPEC) {
    return WinsockFromResolver(EAI_NONAME);
  }
  int systemErrno = 0;
  const int code =
      LookupAddresses(host, port, PassHints(family, preferIPv4, pass, protocol, socketType), list,
                      systemErrno, stop, servers);
  if (code != 0) {
    list.clear();
  }
  return WinsockFromResolver(code, systemErrno);
}

std::string SockAddrToText(const TSockAddrAny& addr) {
  const int length = SockAddrLength(addr);
  if (length == 0) {
    return std::string();
  }
  return NumericHostText(addr.Raw(), static_cast<socklen_t>(length));
}

int SockAddrPort(const TSockAddrAny& addr) {
  return ntohs(addr.AddrIn.sin_port);
}

int SockAddrLength(const TSockAddrAny& addr) {
  switch (addr.Family()) {
    case AF_INET:
      return sizeof(sockaddr_in);
    case AF_INET6:
      return sizeof(sockaddr_in6);
    default:
      return 0;
  }
}

void ResolveHostToList(const std::string& name, int family, int protocol, int socketType,
                       std::vector<std::string>& list, const std::atomic<bool>* stop) {
  list.clear();
  const addrinfo hints = AnyFamilyHints(0, protocol, socketType);
  TAddressList found;
  int systemErrno = 0;
  if (QueryAddrInfo(&name, nullptr, hints, found, systemErrno, stop) == 0) {
    for (const TSockAddrAny& entry : found) {
      if (entry.Family() == AF_INET && family == AF_INET6) {
        continue;
      }
      if (entry.Family() == AF_INET6 && family == AF_INET) {
        continue;
      }
      std::string text = SockAddrToText(entry);
      if (!text.empty()) {
        list.push_back(std::move(text));
      }
    }
  }
  if (list.empty()) {
    list.emplace_back("0.0.0.0");
  }
}

std::uint16_t ResolveServicePort(const std::string& port, int family, int protocol,
                                 int socketType) {
  (void)family;  // The service database is the same for every family.
  const addrinfo hints = AnyFamilyHints(AI_PASSIVE, protocol, socketType);
  TAddressList found;
  int systemErrno = 0;
  if (QueryAddrInfo(nullptr, &port, hints, found, systemErrno, nullptr) != 0 || found.empty()) {
    return 0;
  }
  if (found[0].Family() != AF_INET && found[0].Family() != AF_INET6) {
    return 0;
  }
  return static_cast<std::uint16_t>(SockAddrPort(found[0]));
}

std::string ResolveAddressToName(const std::string& address, int family, int protocol,
                                 int socketType, const std::atomic<bool>* stop) {
  (void)family;  // The address text itself decides the family.
  const addrinfo hints = AnyFamilyHints(0, protocol, socketType);
  TAddressList found;
  int systemErrno = 0;
  if (QueryAddrInfo(&address, nullptr, hints, found, systemErrno, stop) != 0 || found.empty()) {
    return address;
  }
  char host[kNameInfoHostBytes];
  char service[kNameInfoServiceBytes];
  if (getnameinfo(found[0].Raw(), static_cast<socklen_t>(SockAddrLength(found[0])), host,
                  sizeof host, service, sizeof service, NI_NUMERICSERV) != 0) {
    return address;
  }
  return host;
}

std::string LocalHostName() {
  char buffer[kLocalHostNameBytes] = {};
  // One byte less than the buffer is offered so that the name always ends
  // in NUL, even when the system cuts it without one.
  gethostname(buffer, kLocalHostNameBytes - 1);
  return std::string(buffer, strnlen(buffer, kLocalHostNameBytes));
}

// --- Thin wrappers ------------------------------------------------------------

int SocketLastError() {
  return WinsockFromErrno(errno);
}

TSocket SocketCreate(int family, int socketType, int protocol) {
  // Close-on-exec: a handle must not leak into a program this one starts.
  return ::socket(family, socketType | SOCK_CLOEXEC, protocol);
}

int SocketClose(TSocket s) {
  return ::close(s);
}

int SocketShutdown(TSocket s, int how) {
  return ::shutdown(s, how);
}

int SocketBind(TSocket s, const TSockAddrAny& addr) {
  return ::bind(s, addr.Raw(), static_cast<socklen_t>(SockAddrLength(addr)));
}

int SocketConnect(TSocket s, const TSockAddrAny& addr) {
  return ::connect(s, addr.Raw(), static_cast<socklen_t>(SockAddrLength(addr)));
}

int SocketListen(TSocket s, int backlog) {
  return ::listen(s, backlog);
}

TSocket SocketAccept(TSocket s, TSockAddrAny& addr) {
  addr = TSockAddrAny();
  socklen_t length = sizeof(TSockAddrAny);
  return ::accept4(s, addr.Raw(), &length, SOCK_CLOEXEC);
}

int SocketSend(TSocket s, const void* buffer, int length, int flags) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  return static_cast<int>(
      ::send(s, buffer, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL));
}

int SocketRecv(TSocket s, void* buffer, int length, int flags) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  return static_cast<int>(::recv(s, buffer, static_cast<std::size_t>(length), flags));
}

int SocketSendTo(TSocket s, const void* buffer, int length, int flags, const TSockAddrAny& addr) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  return static_cast<int>(::sendto(s, buffer, static_cast<std::size_t>(length),
                                   flags | MSG_NOSIGNAL, addr.Raw(),
                                   static_cast<socklen_t>(SockAddrLength(addr))));
}

int SocketRecvFrom(TSocket s, void* buffer, int length, int flags, TSockAddrAny& addr) {
  if (length < 0) {
    errno = EINVAL;
    return SOCKET_ERROR;
  }
  addr = TSockAddrAny();
  socklen_t addrLength = sizeof(TSockAddrAny);
  return static_cast<int>(
      ::recvfrom(s, buffer, static_cast<std::size_t>(length), flags, addr.Raw(), &addrLength));
}

int SocketLocalAddress(TSocket s, TSockAddrAny& addr) {
  addr = TSockAddrAny();
  socklen_t length = sizeof(TSockAddrAny);
  return ::getsockname(s, addr.Raw(), &length);
}

int SocketPeerAddress(TSocket s, TSockAddrAny& addr) {
  addr = TSockAddrAny();
  socklen_t length = sizeof(TSockAddrAny);
  return ::getpeername(s, addr.Raw(), &length);
}

int SocketSetOption(TSocket s, int level, int name, const void* value, socklen_t length) {
  return ::setsockopt(s, level, name, value, length);
}

int SocketGetOption(TSocket s, int level, int name, void* value, socklen_t& length) {
  return ::getsockopt(s, level, name, value, &length);
}

int SocketSetIntOption(TSocket s, int level, int name, int value) {
  return ::setsockopt(s, level, name, &value, sizeof value);
}

int SocketGetIntOption(TSocket s, int level, int name, int& value) {
  socklen_t length = sizeof value;
  return ::getsockopt(s, level, name, &value, &length);
}

int SocketSetLinger(TSocket s, bool on, int seconds) {
  linger value{};
  value.l_onoff = on ? 1 : 0;
  value.l_linger = seconds;
  return ::setsockopt(s, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

int SocketSetTimeoutOption(TSocket s, int name, int milliseconds) {
  timeval value{};
  if (milliseconds > 0) {
    value.tv_sec = milliseconds / 1000;
    value.tv_usec = static_cast<suseconds_t>(milliseconds % 1000) * 1000;
  }
  return ::setsockopt(s, SOL_SOCKET, name, &value, sizeof value);
}

int SocketBytesAvailable(TSocket s, int& count) {
  count = 0;
  int value = 0;
  const int result = ::ioctl(s, FIONREAD, &value);
  if (result == 0) {
    count = value;
  }
  return result;
}

int SocketSetNonBlocking(TSocket s, bool nonBlocking) {
  int value = nonBlocking ? 1 : 0;
  return ::ioctl(s, FIONBIO, &value);
}

// --- Socket set ----------------------------------------------------------------

void SocketSetClear(TSocketSet& set) {
  set.Count = 0;
}

void SocketSetAdd(TSocket s, TSocketSet& set) {
  if (set.Count < 0) {
    set.Count = 0;
  }
  if (set.Count < kMaxSocketSetHandles) {
    set.Handles[static_cast<std::size_t>(set.Count++)] = s;
  }
}

bool SocketSetContains(const TSocketSet& set, TSocket s) {
  for (int i = 0; i < set.Count && i < kMaxSocketSetHandles; ++i) {
    if (set.Handles[static_cast<std::size_t>(i)] == s) {
      return true;
    }
  }
  return false;
}

int SocketSelect(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* exceptSet, int timeoutMs) {
  // poll rather than select: select cannot take a handle at or above
  // FD_SETSIZE, which a busy process reaches easily.
  TSocketSet* sets[3] = {readSet, writeSet, exceptSet};
  const short wanted[3] = {POLLIN, POLLOUT, POLLPRI};
  // What counts as ready for each set: a closed or failed handle is
  // readable/writable (the next call reports why), as select has it.
  const short ready[3] = {POLLIN | POLLHUP | POLLERR, POLLOUT | POLLHUP | POLLERR, POLLPRI};

  pollfd fds[3 * kMaxSocketSetHandles];
  int owner[3 * kMaxSocketSetHandles];
  int count = 0;
  for (int k = 0; k < 3; ++k) {
    if (sets[k] == nullptr) {
      continue;
    }
    const int n = std::min(std::max(sets[k]->Count, 0), kMaxSocketSetHandles);
    for (int i = 0; i < n; ++i) {
      fds[count].fd = sets[k]->Handles[static_cast<std::size_t>(i)];
      fds[count].events = wanted[k];
      fds[count].revents = 0;
      owner[count] = k;
      ++count;
    }
  }

  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  int result;
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = static_cast<int>(std::max<long long>(left, 0));
    }
    result = ::poll(fds, static_cast<nfds_t>(count), wait);
    if (result >= 0 || errno != EINTR) {
      break;
    }
  }
  if (result < 0) {
    return SOCKET_ERROR;
  }

  // A handle that is not a socket or not open fails the whole call, as
  // select does.
  for (int i = 0; i < count; ++i) {
    if (fds[i].revents & POLLNVAL) {
      errno = EBADF;
      return SOCKET_ERROR;
    }
  }

  int total = 0;
  for (auto& set : sets) {
    if (set != nullptr) {
      SocketSetClear(*set);
    }
  }
  for (int i = 0; i < count; ++i) {
    const int k = owner[i];
    if ((fds[i].revents & ready[k]) != 0) {
      SocketSetAdd(fds[i].fd, *sets[k]);
      ++total;
    }
  }
  return total;
}

}  // namespace movrek
