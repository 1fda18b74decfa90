// The enumerations and event types shared by the blocking socket, its TLS
// plug-in and its owners.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace movrek {

class TBlockSocket;

// Address family wanted for the next handle.
enum TSocketFamily : int {
  SF_Any,  // whatever the host text or the resolver yields
  SF_IP4,  // AF_INET
  SF_IP6,  // AF_INET6
};

// SOCKS protocol spoken with the proxy; ST_Socks4 covers 4a as well.
enum TSocksType : int { ST_Socks5, ST_Socks4 };

// Protocol requested of the TLS plug-in; LT_all negotiates the version.
enum TSSLType : int { LT_all, LT_SSLv2, LT_SSLv3, LT_TLSv1, LT_TLSv1_1, LT_SSHv2 };

// Why the status event fires; the comment names the value text passed.
enum THookSocketReason : int {
  HR_ResolvingBegin = 0,  // host ":" port as passed in
  HR_ResolvingEnd = 1,    // the same text, also when resolving failed
  HR_SocketCreate = 2,    // "IPv4" or "IPv6"
  HR_SocketClose = 3,     // empty; every close, also without a handle
  HR_Bind = 4,            // ip ":" port
  HR_Connect = 5,         // host ":" port as passed in, success or not
  HR_CanRead = 6,         // empty
  HR_CanWrite = 7,        // empty
  HR_Listen = 8,          // empty
  HR_Accept = 9,          // never reported
  HR_ReadCount = 10,      // decimal byte count of one receive call
  HR_WriteCount = 11,     // decimal byte count of one send call
  HR_Wait = 12,           // decimal milliseconds the limiter is about to sleep
  HR_Error = 13,          // decimal error number "," description
};

// Events are called synchronously on the thread running the operation, with
// the socket itself as Sender; an empty std::function is skipped.
using THookSocketStatus =
    std::function<void(TBlockSocket* sender, THookSocketReason reason, const std::string& value)>;
// May rewrite a received piece; a longer result is cut back to the size received.
using THookDataFilter = std::function<void(TBlockSocket* sender, std::string& value)>;
using THookCreateSocket = std::function<void(TBlockSocket* sender)>;
using THookAfterConnect = std::function<void(TBlockSocket* sender)>;
using THookHeartbeat = std::function<void(TBlockSocket* sender)>;
// A view of every buffer sent (Writing true) or received (false).
using THookMonitor =
    std::function<void(TBlockSocket* sender, bool writing, const void* buffer, std::int32_t len)>;

}  // namespace movrek
