// The socket library binding, address records, name resolution and the thin
// wrappers over the BSD socket calls. Every raw socket and resolver call of
// the system lives behind this header; the layers above call these wrappers
// and read failures through SocketLastError() in Windows Sockets numbering
// (see winsock_errors.h).
//
// Address family arguments are the platform's AF_UNSPEC, AF_INET or
// AF_INET6; protocol and socket type are the platform's IPPROTO_* and
// SOCK_* values.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/base/base_limits.h"

namespace movrek {

struct TNameServers;

using TSocket = int;
inline constexpr TSocket INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// A socket address of either family. Family and port sit at the same place
// in both layouts, so Family() and SockAddrPort() work whatever the family.
// A default-constructed record is all zeros (family 0, length 0).
union TSockAddrAny {
  sockaddr_in AddrIn;
  sockaddr_in6 AddrIn6;

  TSockAddrAny() : AddrIn6{} {}
  int Family() const { return AddrIn.sin_family; }
  sockaddr* Raw() { return reinterpret_cast<sockaddr*>(this); }
  const sockaddr* Raw() const { return reinterpret_cast<const sockaddr*>(this); }
};
static_assert(sizeof(TSockAddrAny) == 28);

// --- Binding ---------------------------------------------------------------

// The socket calls are linked directly, so binding never fails; the
// reference count is kept so that the start/stop pairing stays observable.
// An empty name means the default library. Both run under SocketApiLock().
bool BindSocketLibrary(const std::string& libraryName);
// Decreases the count, never below 0. Always true.
bool ReleaseSocketLibrary();
// Number of BindSocketLibrary calls not yet released.
int SocketLibraryRefCount();
// The stack supplies getaddrinfo/freeaddrinfo/getnameinfo itself (always
// true here) / an add-on library supplies them (always false here).
bool AddrInfoInStack();
bool AddrInfoFromHelper();
// True when name resolution of this family uses getaddrinfo.
bool UsesAddrInfo(int family);
// Process-wide lock guarding the binding state.
std::mutex& SocketApiLock();

// Start and stop of the socket stack for the process (WSAStartup and
// WSACleanup elsewhere). SocketStartup also makes writes on a connection the
// peer has closed fail with an error instead of ending the process (SIGPIPE
// ignored when it has its default action), which TLS libraries writing to
// the handle rely on. Both return 0.
int SocketStartup(std::uint16_t version);
int SocketCleanup();

// --- Addresses and resolution -------------------------------------------------

// Fills addr (zeroed first) from a host text and a port text (decimal or
// service name). With family AF_UNSPEC two lookups are tried: AF_INET then
// AF_INET6 when preferIPv4, else AF_INET6 then AF_INET. The hosts "0.0.0.0"
// and "::0" give the wildcard address and "127.0.0.1" and "::1" the loopback
// address of the family asked for. Returns 0, or the resolver failure as a
// Windows Sockets number (11001 host not found, ...); a failed lookup leaves
// addr all zero. A host name is looked up in slices that watch *stop (when
// given): once it reads true the lookup ends within kNameLookupSliceMs with
// 10053 (WSAECONNABORTED). Numeric hosts never reach a name server; names
// not in the host table go to `servers` when given (name_lookup.h).
int FillSockAddr(TSockAddrAny& addr, const std::string& host, const std::string& port, int family,
                 int protocol, int socketType, bool preferIPv4,
                 const std::atomic<bool>* stop = nullptr, const TNameServers* servers = nullptr);
// All addresses of one family pass, in resolver order: pass 0 the family
// asked for (AF_UNSPEC: IPv4 when preferIPv4, else IPv6), pass 1 the other
// family under AF_UNSPEC (for another family: none, 11001). Results and
// stop as in FillSockAddr; list is empty on a failure.
int FillSockAddrList(std::vector<TSockAddrAny>& list, const std::string& host,
                     const std::string& port, int family, int protocol, int socketType,
                     bool preferIPv4, int pass, const std::atomic<bool>* stop = nullptr,
                     const TNameServers* servers = nullptr);
// Numeric host text of addr, "" when it cannot be formed.
std::string SockAddrToText(const TSockAddrAny& addr);
// Port in host order, 0 to 65535, for either family.
int SockAddrPort(const TSockAddrAny& addr);
// 16 for AF_INET, 28 for AF_INET6, 0 for any other family.
int SockAddrLength(const TSockAddrAny& addr);

// Clears list and fills it with the numeric texts of all addresses of name
// in resolver order (duplicates kept); family AF_INET or AF_INET6 filters,
// AF_UNSPEC keeps all. Never empty: "0.0.0.0" when nothing resolves (or
// the lookup was stopped through *stop, as in FillSockAddr).
void ResolveHostToList(const std::string& name, int family, int protocol, int socketType,
                       std::vector<std::string>& list, const std::atomic<bool>* stop = nullptr);
// Port number of a decimal or service-name text; 0 when it does not resolve.
std::uint16_t ResolveServicePort(const std::string& port, int family, int protocol, int socketType);
// Reverse lookup of an address text (or name); the input text when no name
// is found. A name given is looked up as in ResolveHostToList.
std::string ResolveAddressToName(const std::string& address, int family, int protocol,
                                 int socketType, const std::atomic<bool>* stop = nullptr);
// This machine's host name, "" when the system gives none.
std::string LocalHostName();

// --- Thin wrappers ------------------------------------------------------------
// Each is one platform call and returns its result unchanged (a handle,
// 0 or a byte count on success, -1 on failure); none reads the error code:
// call SocketLastError() right after a failure.

// The last socket error of this thread in Windows Sockets numbering.
int SocketLastError();

TSocket SocketCreate(int family, int socketType, int protocol);
int SocketClose(TSocket s);
// how: SHUT_RD, SHUT_WR or SHUT_RDWR.
int SocketShutdown(TSocket s, int how);
int SocketBind(TSocket s, const TSockAddrAny& addr);
int SocketConnect(TSocket s, const TSockAddrAny& addr);
int SocketListen(TSocket s, int backlog);
// Fills addr with the peer's address (all 28 bytes offered).
TSocket SocketAccept(TSocket s, TSockAddrAny& addr);
// Never raises SIGPIPE: a closed peer gives -1 with 10054.
int SocketSend(TSocket s, const void* buffer, int length, int flags);
int SocketRecv(TSocket s, void* buffer, int length, int flags);
int SocketSendTo(TSocket s, const void* buffer, int length, int flags, const TSockAddrAny& addr);
// Zeroes addr, then fills it with the sender (all 28 bytes offered).
int SocketRecvFrom(TSocket s, void* buffer, int length, int flags, TSockAddrAny& addr);
// Zero addr, then fill it with the local / remote end.
int SocketLocalAddress(TSocket s, TSockAddrAny& addr);
int SocketPeerAddress(TSocket s, TSockAddrAny& addr);

int SocketSetOption(TSocket s, int level, int name, const void* value, socklen_t length);
int SocketGetOption(TSocket s, int level, int name, void* value, socklen_t& length);
int SocketSetIntOption(TSocket s, int level, int name, int value);
int SocketGetIntOption(TSocket s, int level, int name, int& value);
// SO_LINGER with the time in whole seconds.
int SocketSetLinger(TSocket s, bool on, int seconds);
// SO_RCVTIMEO or SO_SNDTIMEO (name) in milliseconds.
int SocketSetTimeoutOption(TSocket s, int name, int milliseconds);

// Bytes readable without waiting (FIONREAD) into count.
int SocketBytesAvailable(TSocket s, int& count);
// Switches the handle between blocking and non-blocking mode (FIONBIO).
int SocketSetNonBlocking(TSocket s, bool nonBlocking);

// --- Socket set ----------------------------------------------------------------

// A count and at most kMaxSocketSetHandles handles.
struct TSocketSet {
  int Count = 0;
  std::array<TSocket, kMaxSocketSetHandles> Handles{};
};

void SocketSetClear(TSocketSet& set);
// Appends s while the set holds fewer than kMaxSocketSetHandles handles;
// otherwise the request is ignored.
void SocketSetAdd(TSocket s, TSocketSet& set);
bool SocketSetContains(const TSocketSet& set, TSocket s);

// Waits until a handle of readSet is readable, one of writeSet writable or
// one of exceptSet has an exceptional condition (any set may be null), or
// the time-out passes; timeoutMs below 0 waits without limit. Returns the
// number of ready handles (0 on time-out) and leaves only the ready handles
// in each set, or -1 on failure (sets unchanged). Handles of any value are
// accepted (no FD_SETSIZE ceiling); a wait interrupted by a signal resumes
// with the time that is left.
int SocketSelect(TSocketSet* readSet, TSocketSet* writeSet, TSocketSet* exceptSet, int timeoutMs);

}  // namespace movrek
