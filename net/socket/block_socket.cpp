#include "net/socket/block_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/base/ip_text.h"
#include "net/base/text_util.h"
#include "net/base/winsock_errors.h"
#include "net/socket/socket_exception.h"

namespace movrek {

namespace {

int AddressFamilyOf(TSocketFamily family) {
  switch (family) {
    case SF_IP4:
      return AF_INET;
    case SF_IP6:
      return AF_INET6;
    case SF_Any:
      break;
  }
  return AF_UNSPEC;
}

void SleepMs(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

TBlockSocket::TBlockSocket() {
  SocketSetClear(ReadSet);
}

TBlockSocket::~TBlockSocket() {
  // A destructor must not throw, whatever the owner asked for.
  RaiseExcept = false;
  if (!closedForDestruction_) {
    CloseConnection();
  }
}

void TBlockSocket::ChangeFamily(TSocketFamily value) {
  Family = value;
  FamilyDefault = value;
}

void TBlockSocket::SetMaxBandwidth(std::int32_t value) {
  MaxSendBandwidth = value;
  MaxRecvBandwidth = value;
}

void TBlockSocket::ReportStatus(THookSocketReason reason, const std::string& value) {
  if (OnStatus) {
    OnStatus(this, reason, value);
  }
}

// --- Errors ----------------------------------------------------------------

void TBlockSocket::ClearError() {
  LastErrorCode = 0;
  LastErrorText.clear();
}

std::int32_t TBlockSocket::CheckResult(std::int32_t apiResult) {
  ClearError();
  if (apiResult == SOCKET_ERROR) {
    LastErrorCode = SocketLastError();
    LastErrorText = GetErrorDesc(LastErrorCode);
  }
  return LastErrorCode;
}

void TBlockSocket::RaiseIfFailed() {
  LastErrorText = GetErrorDescEx();
  // Would-block and in-progress are states of a non-blocking handle, not failures.
  if (LastErrorCode == 0 || LastErrorCode == WSAEWOULDBLOCK || LastErrorCode == WSAEINPROGRESS) {
    return;
  }
  ReportStatus(HR_Error, std::to_string(LastErrorCode) + "," + LastErrorText);
  if (RaiseExcept) {
    throw ESocketError(LastErrorCode, LastErrorText);
  }
}

std::string TBlockSocket::GetErrorDesc(std::int32_t code) {
  return WinsockErrorText(code);
}

std::string TBlockSocket::GetErrorDescEx() {
  return GetErrorDesc(LastErrorCode);
}

// --- Handle life cycle ---------------------------------------------------------

int TBlockSocket::LookupFamily(const std::string& host) const {
  TSocketFamily family = Family;
  if (Handle == INVALID_SOCKET && Family == SF_Any) {
    if (IsIPv4Text(host)) {
      family = SF_IP4;
    } else if (IsIPv6Text(host)) {
      family = SF_IP6;
    }
  }
  return AddressFamilyOf(family);
}

void TBlockSocket::FillAddress(TSockAddrAny& address, const std::string& host,
                               const std::string& port) {
  std::vector<TSockAddrAny> list;
  FillAddresses(list, host, port, 0);
  if (LastErrorCode != 0 && LastErrorCode != WSAECONNABORTED && LookupFamily(host) == AF_UNSPEC) {
    FillAddresses(list, host, port, 1);
  }
  address = list.empty() ? TSockAddrAny() : list.front();
}

void TBlockSocket::FillAddresses(std::vector<TSockAddrAny>& list, const std::string& host,
                                 const std::string& port, int pass) {
  const std::string hostPort = host + ":" + port;
  ReportStatus(HR_ResolvingBegin, hostPort);
  ClearError();
  // The lookup watches the stop flag without taking it: a stop ends the
  // lookup, and is then consumed here like one that ends a transfer.
  LastErrorCode = FillSockAddrList(list, host, port, LookupFamily(host), SocketProtocolNumber(),
                                   SocketKind(), PreferIP4, pass, &StopFlag, &NameServers);
  if (LastErrorCode == WSAECONNABORTED) {
    StopFlag.store(false);
  }
  ReportStatus(HR_ResolvingEnd, hostPort);
}

void TBlockSocket::CreateHandle(const TSockAddrAny& address) {
  // A stop requested before the handle exists belongs to no transfer.
  StopFlag.store(false);
  BytesReceived = 0;
  BytesSent = 0;
  ClearError();
  if (Handle != INVALID_SOCKET) {
    return;
  }
  ReadAhead.clear();
  IsBound = false;
  UsesIPv6 = address.Family() == AF_INET6;
  Handle = SocketCreate(address.Family(), SocketKind(), SocketProtocolNumber());
  if (Handle == INVALID_SOCKET) {
    LastErrorCode = SocketLastError();
  }
  SocketSetClear(ReadSet);
  if (Handle != INVALID_SOCKET) {
    SocketSetAdd(Handle, ReadSet);
  }
  RaiseIfFailed();
  if (Handle == INVALID_SOCKET) {
    return;
  }
  ReportStatus(HR_SocketCreate, UsesIPv6 ? "IPv6" : "IPv4");
  // The queue holds the newest option first; apply the oldest first.
  for (auto option = QueuedOptions.rbegin(); option != QueuedOptions.rend(); ++option) {
    ApplyOption(*option);
  }
  QueuedOptions.clear();
  if (OnCreateSocket) {
    OnCreateSocket(this);
  }
}

void TBlockSocket::AdoptHandle(TSocket handle) {
  BytesReceived = 0;
  BytesSent = 0;
  Handle = handle;
  SocketSetClear(ReadSet);
  SocketSetAdd(Handle, ReadSet);
  SocketLocalAddress(Handle, LocalAddress);
  SocketPeerAddress(Handle, RemoteAddress);
  UsesIPv6 = RemoteAddress.Family() == AF_INET6;
}

void TBlockSocket::CloseConnection() {
  DropHandle();
}

void TBlockSocket::DropHandle() {
  if (Handle != INVALID_SOCKET) {
    SocketClose(Handle);
  }
  Handle = INVALID_SOCKET;
  SocketSetClear(ReadSet);
  QueuedOptions.clear();
  Family = FamilyDefault;
  ReportStatus(HR_SocketClose, "");
}

void TBlockSocket::ConnectTo(const std::string& host, const std::string& port) {
  // Every address of the name in turn, the preferred family first, as
  // browsers do (RFC 8305 section 4, one at a time): a dead first address
  // must not fail a host that has a live one. A handle made before (bound
  // to an interface) has its family and gets one try.
  const bool bound = Handle != INVALID_SOCKET;
  const int passes = !bound && LookupFamily(host) == AF_UNSPEC ? 2 : 1;
  std::int32_t connectError = 0;
  for (int pass = 0; pass < passes && connectError != WSAECONNABORTED; ++pass) {
    std::vector<TSockAddrAny> addresses;
    FillAddresses(addresses, host, port, pass);
    for (const TSockAddrAny& address : addresses) {
      if (connectError != 0) {
        DropHandle();  // the failed try before; the last one is the owner's to close
      }
      if (ConnectAddress(address)) {
        connectError = 0;
        break;
      }
      connectError = LastErrorCode;
      if (bound || connectError == WSAECONNABORTED) {
        break;
      }
    }
    if (LastErrorCode == 0 || LastErrorCode == WSAECONNABORTED) {
      break;
    }
  }
  // The reason is the last connect's, not the lookup of a family the name
  // does not have.
  if (connectError != 0) {
    LastErrorCode = connectError;
    LastErrorText = GetErrorDesc(connectError);
  }
  RaiseIfFailed();
  ReportStatus(HR_Connect, host + ":" + port);
}

bool TBlockSocket::ConnectAddress(const TSockAddrAny& address) {
  CreateHandle(address);
  if (LastErrorCode == 0 && ConnectHandle(address) == 0) {
    SocketLocalAddress(Handle, LocalAddress);
    SocketPeerAddress(Handle, RemoteAddress);
  }
  ReadAhead.clear();
  SawLoneCR = false;
  SawLoneLF = false;
  return LastErrorCode == 0;
}

std::int32_t TBlockSocket::ConnectHandle(const TSockAddrAny& address) {
  if (ConsumeStop()) {
    return LastErrorCode;
  }
  if (NonBlocking) {
    return CheckResult(SocketConnect(Handle, address));
  }
  // The system's own connect time-out still applies, but the attempt runs
  // on a non-blocking handle so that the wait for it is sliced like every
  // other wait and a stop ends it at once: an address that never answers
  // would otherwise hold the caller for minutes.
  SocketSetNonBlocking(Handle, true);
  CheckResult(SocketConnect(Handle, address));
  if (LastErrorCode == WSAEINPROGRESS || LastErrorCode == WSAEWOULDBLOCK) {
    ClearError();
    if (PollSliced(-1, true)) {
      int pending = 0;
      socklen_t length = sizeof pending;
      if (SocketGetOption(Handle, SOL_SOCKET, SO_ERROR, &pending, length) != 0) {
        pending = errno;
      }
      LastErrorCode = pending != 0 ? WinsockFromErrno(pending) : 0;
      LastErrorText = GetErrorDesc(LastErrorCode);
    }
  }
  SocketSetNonBlocking(Handle, false);
  return LastErrorCode;
}

void TBlockSocket::BindTo(const std::string& ip, const std::string& port) {
  ClearError();
  if (Handle == INVALID_SOCKET && Family == SF_Any && ip == "0.0.0.0" && port == "0") {
    return;
  }
  TSockAddrAny address;
  FillAddress(address, ip, port);
  if (LastErrorCode == 0) {
    CreateHandle(address);
    if (LastErrorCode == 0 && CheckResult(SocketBind(Handle, address)) == 0) {
      SocketLocalAddress(Handle, LocalAddress);
      ReadAhead.clear();
      IsBound = true;
    }
  }
  RaiseIfFailed();
  ReportStatus(HR_Bind, ip + ":" + port);
}

// --- Options -------------------------------------------------------------------

void TBlockSocket::SetSocketOption(const TSocketOption& option) {
  if (Handle == INVALID_SOCKET) {
    QueuedOptions.push_front(option);
  } else {
    ApplyOption(option);
  }
}

void TBlockSocket::SetNonBlockMode(bool value) {
  SetSocketOption(TSocketOption{SOT_NonBlock, value, 0});
}

void TBlockSocket::SetLinger(bool enabled, std::int32_t milliseconds) {
  SetSocketOption(TSocketOption{SOT_Linger, enabled, milliseconds});
}

void TBlockSocket::ApplyOption(const TSocketOption& option) {
  const int on = option.Enabled ? 1 : 0;
  switch (option.Kind) {
    case SOT_Linger:
      SocketSetLinger(Handle, option.Enabled, option.Value / 1000);
      break;
    case SOT_RecvBuffer:
      SocketSetIntOption(Handle, SOL_SOCKET, SO_RCVBUF, option.Value);
      break;
    case SOT_SendBuffer:
      SocketSetIntOption(Handle, SOL_SOCKET, SO_SNDBUF, option.Value);
      break;
    case SOT_NonBlock:
      NonBlocking = option.Enabled;
      SocketSetNonBlocking(Handle, option.Enabled);
      break;
    case SOT_RecvTimeout:
      SocketSetTimeoutOption(Handle, SO_RCVTIMEO, option.Value);
      break;
    case SOT_SendTimeout:
      SocketSetTimeoutOption(Handle, SO_SNDTIMEO, option.Value);
      break;
    case SOT_Reuse:
      SocketSetIntOption(Handle, SOL_SOCKET, SO_REUSEADDR, on);
      break;
    case SOT_TTL:
      if (UsesIPv6) {
        SocketSetIntOption(Handle, IPPROTO_IPV6, IPV6_UNICAST_HOPS, option.Value);
      } else {
        SocketSetIntOption(Handle, IPPROTO_IP, IP_TTL, option.Value);
      }
      break;
    case SOT_Broadcast:
      SocketSetIntOption(Handle, SOL_SOCKET, SO_BROADCAST, on);
      break;
    case SOT_MulticastTTL:
      if (UsesIPv6) {
        SocketSetIntOption(Handle, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, option.Value);
      } else {
        SocketSetIntOption(Handle, IPPROTO_IP, IP_MULTICAST_TTL, option.Value);
      }
      break;
    case SOT_MulticastLoop:
      if (UsesIPv6) {
        SocketSetIntOption(Handle, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, on);
      } else {
        SocketSetIntOption(Handle, IPPROTO_IP, IP_MULTICAST_LOOP, on);
      }
      break;
  }
}

// --- Stop, limiter, waits --------------------------------------------------------

bool TBlockSocket::ConsumeStop() {
  if (OnHeartbeat && HeartbeatRate != 0) {
    OnHeartbeat(this);
  }
  // One atomic read-and-clear: a request set meanwhile by another thread is
  // either consumed here or left for the next test, never lost.
  if (!StopFlag.exchange(false)) {
    return false;
  }
  LastErrorCode = WSAECONNABORTED;
  RaiseIfFailed();
  return true;
}

void TBlockSocket::Throttle(std::int32_t length, std::int32_t maxRate, std::uint32_t& nextTick) {
  if (StopFlag.load() || maxRate <= 0) {
    return;
  }
  const std::uint32_t now = TickNow();
  // Compared as a distance so that the counter wrapping between the two
  // readings does not turn a short wait into one of weeks.
  const std::uint32_t wait = nextTick - now;
  if (wait != 0 && wait < 0x80000000u) {
    ReportStatus(HR_Wait, std::to_string(wait));
    SleepMs(wait % kThrottleSliceMs);
    for (std::uint32_t slice = 0; slice < wait / kThrottleSliceMs; ++slice) {
      if (StopFlag.load()) {
        break;
      }
      SleepMs(kThrottleSliceMs);
    }
  }
  nextTick = TickNow() + static_cast<std::uint32_t>(static_cast<double>(length) /
                                                    static_cast<double>(maxRate) * 1000.0);
}

bool TBlockSocket::PollReady(std::int32_t ms, bool forWrite) {
  if (ReadSet.Count == 0) {
    // No handle: waiting would only sleep out the time-out (or forever).
    ClearError();
    LastErrorCode = WSAENOTSOCK;
    return false;
  }
  TSocketSet set = ReadSet;
  const int count = SocketSelect(forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, ms);
  CheckResult(count);
  return LastErrorCode == 0 && count > 0;
}

bool TBlockSocket::PollReadable(std::int32_t ms) {
  return PollReady(ms, false);
}

bool TBlockSocket::PollSliced(std::int32_t ms, bool forWrite) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(ms, 0));
  for (;;) {
    std::int32_t slice = kStopCheckSliceMs;
    bool last = false;
    if (ms >= 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      slice = static_cast<std::int32_t>(
          std::clamp<long long>(left, 0, static_cast<long long>(kStopCheckSliceMs)));
      last = left <= kStopCheckSliceMs;
    }
    const bool ready = forWrite ? PollReady(slice, true) : PollReadable(slice);
    if (ready || LastErrorCode != 0 || last) {
      return ready;
    }
    if (StopFlag.exchange(false)) {
      // The wait is abandoned on request: report it as such, not as a time-out.
      LastErrorCode = WSAECONNABORTED;
      return false;
    }
  }
}

bool TBlockSocket::WaitReadable(std::int32_t timeout) {
  std::int32_t periods = 0;
  std::int32_t first = timeout;
  if (HeartbeatRate != 0 && timeout != -1) {
    periods = timeout / HeartbeatRate;
    first = timeout % HeartbeatRate;
  }
  bool readable = PollSliced(first, false);
  if (!readable && LastErrorCode == 0) {
    for (std::int32_t period = 0; period <= periods; ++period) {
      if (OnHeartbeat && HeartbeatRate != 0) {
        OnHeartbeat(this);
      }
      if (StopFlag.exchange(false)) {
        LastErrorCode = WSAECONNABORTED;
        readable = false;
        break;
      }
      readable = PollSliced(HeartbeatRate, false);
      if (readable || LastErrorCode != 0) {
        break;
      }
    }
  }
  RaiseIfFailed();
  if (readable) {
    ReportStatus(HR_CanRead, "");
  }
  return readable;
}

bool TBlockSocket::ReadableOrBuffered(std::int32_t timeout) {
  if (!ReadAhead.empty()) {
    return true;
  }
  return WaitReadable(timeout);
}

bool TBlockSocket::WaitWritable(std::int32_t timeout) {
  const bool writable = PollSliced(timeout, true);
  RaiseIfFailed();
  if (writable) {
    ReportStatus(HR_CanWrite, "");
  }
  return writable;
}

std::int32_t TBlockSocket::AwaitHandle(bool forWrite, std::int32_t timeout) {
  ClearError();
  if (PollSliced(timeout, forWrite)) {
    return 0;
  }
  if (LastErrorCode == 0) {
    LastErrorCode = WSAETIMEDOUT;
  }
  return LastErrorCode;
}

std::int32_t TBlockSocket::ReceiveTimeoutInForce(std::int32_t fallback) const {
  return receiveTimeoutSet_ ? receiveTimeout_ : fallback;
}

// --- Sending ---------------------------------------------------------------------

std::int32_t TBlockSocket::SendBytes(const void* buffer, std::int32_t length) {
  if (ConsumeStop()) {
    return 0;
  }
  ClearError();
  if (OnMonitor) {
    OnMonitor(this, true, buffer, length);
  }
  const char* data = static_cast<const char*>(buffer);
  std::int32_t total = 0;
  while (total < length) {
    const std::int32_t piece = std::min(SendMaxChunk, length - total);
    if (piece <= 0) {
      break;
    }
    Throttle(piece, MaxSendBandwidth, NextSendTick);
    const std::int32_t sent = SendPiece(data + total, piece);
    if (LastErrorCode != 0 || sent <= 0) {
      break;
    }
    total += sent;
    BytesSent += sent;
    ReportStatus(HR_WriteCount, std::to_string(sent));
  }
  RaiseIfFailed();
  return total;
}

std::int32_t TBlockSocket::SendPiece(const char* data, std::int32_t length) {
  int sent = SocketSend(Handle, data, length, 0);
  CheckResult(sent);
  if (LastErrorCode == WSAEWOULDBLOCK) {
    if (WaitWritable(NonblockSendTimeout)) {
      sent = SocketSend(Handle, data, length, 0);
      CheckResult(sent);
    } else if (LastErrorCode == 0) {
      LastErrorCode = WSAETIMEDOUT;
    }
  }
  return sent;
}

std::int32_t TBlockSocket::SendOctet(std::uint8_t value) {
  return SendBytes(&value, 1);
}

std::int32_t TBlockSocket::SendText(const std::string& text) {
  return SendBytes(text.data(), static_cast<std::int32_t>(text.size()));
}

std::int32_t TBlockSocket::SendInt32(std::int32_t value) {
  return SendText(PackLong32(SwapLong32(static_cast<std::uint32_t>(value))));
}

std::int32_t TBlockSocket::SendLengthPrefixed(const std::string& text) {
  return SendText(PackLong32(SwapLong32(static_cast<std::uint32_t>(text.size()))) + text);
}

std::int64_t TBlockSocket::SendStreamFramed(std::string_view stream, bool withSize,
                                            bool bigEndian) {
  const std::size_t chunk = static_cast<std::size_t>(std::max(SendMaxChunk, 1));
  std::int64_t sent = 0;
  std::size_t position = 0;
  if (withSize) {
    const auto count = static_cast<std::uint32_t>(stream.size());
    std::string first = bigEndian ? PackLong32(count) : PackLong32(SwapLong32(count));
    const std::size_t piece = std::min(chunk, stream.size());
    first.append(stream.substr(0, piece));
    SendText(first);
    if (LastErrorCode != 0) {
      return sent;
    }
    position = piece;
    sent = static_cast<std::int64_t>(piece);
  }
  while (position < stream.size()) {
    const std::size_t piece = std::min(chunk, stream.size() - position);
    SendBytes(stream.data() + position, static_cast<std::int32_t>(piece));
    if (LastErrorCode != 0) {
      break;
    }
    position += piece;
    sent += static_cast<std::int64_t>(piece);
  }
  return sent;
}

std::int64_t TBlockSocket::SendStreamPlain(std::string_view stream) {
  return SendStreamFramed(stream, false, false);
}

std::int64_t TBlockSocket::SendStreamSized(std::string_view stream) {
  return SendStreamFramed(stream, true, false);
}

std::int64_t TBlockSocket::SendStreamSizedBigEndian(std::string_view stream) {
  return SendStreamFramed(stream, true, true);
}

std::int32_t TBlockSocket::SendBytesTo(const void* buffer, std::int32_t length) {
  if (ConsumeStop()) {
    return 0;
  }
  if (OnMonitor) {
    OnMonitor(this, true, buffer, length);
  }
  Throttle(length, MaxSendBandwidth, NextSendTick);
  const int sent = SocketSendTo(Handle, buffer, length, 0, RemoteAddress);
  CheckResult(sent);
  if (sent > 0) {
    BytesSent += sent;
    ReportStatus(HR_WriteCount, std::to_string(sent));
  }
  RaiseIfFailed();
  return sent;
}

// --- Receiving one piece -----------------------------------------------------------

std::int32_t TBlockSocket::AfterReceive(void* buffer, std::int32_t count) {
  BytesReceived += count;
  ReportStatus(HR_ReadCount, std::to_string(count));
  if (OnMonitor) {
    OnMonitor(this, false, buffer, count);
  }
  if (OnReadFilter && count > 0) {
    std::string piece(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
    OnReadFilter(this, piece);
    // The buffer cannot grow: a longer result is cut back to what arrived.
    if (piece.size() > static_cast<std::size_t>(count)) {
      piece.resize(static_cast<std::size_t>(count));
    }
    std::memcpy(buffer, piece.data(), piece.size());
    count = static_cast<std::int32_t>(piece.size());
  }
  return count;
}

std::int32_t TBlockSocket::ReceiveSome(void* buffer, std::int32_t length) {
  if (ConsumeStop()) {
    return 0;
  }
  Throttle(length, MaxRecvBandwidth, NextRecvTick);
  const int received = SocketRecv(Handle, buffer, length, 0);
  if (received == 0) {
    ClearError();
    LastErrorCode = WSAECONNRESET;  // the peer closed its sending direction
  } else {
    CheckResult(received);
  }
  RaiseIfFailed();
  if (received > 0) {
    return AfterReceive(buffer, received);
  }
  return received;
}

std::int32_t TBlockSocket::PendingBytes() {
  int count = 0;
  if (SocketBytesAvailable(Handle, count) != 0) {
    return 0;
  }
  return std::clamp(count, 0, kMaxPendingBytes);
}

void TBlockSocket::RepairLineEnd(std::string& chunk) {
  if (!ConvertLineEnd || chunk.empty()) {
    return;
  }
  // The previous line ended with the last byte at hand; when its partner
  // arrives first in this chunk it belongs to that line end.
  if (SawLoneCR && chunk.front() == '\n') {
    chunk.erase(0, 1);
  }
  if (SawLoneLF && !chunk.empty() && chunk.front() == '\r') {
    chunk.erase(0, 1);
  }
  SawLoneCR = false;
  SawLoneLF = false;
}

std::int32_t TBlockSocket::AwaitPending(std::int32_t timeout) {
  receiveTimeout_ = timeout;
  receiveTimeoutSet_ = true;
  if (YieldBeforeReceive) {
    std::this_thread::yield();
  }
  std::int32_t pending = PendingBytes();
  if (pending > 0) {
    return pending;
  }
  if (WaitReadable(timeout)) {
    pending = PendingBytes();
    if (pending == 0) {
      LastErrorCode = WSAECONNRESET;  // readable, nothing to read: end of stream
    }
    return pending;
  }
  if (LastErrorCode == 0) {
    LastErrorCode = WSAETIMEDOUT;
  }
  return 0;
}

std::string TBlockSocket::ReceiveChunk(std::int32_t timeout) {
  ClearError();
  std::string result;
  const auto receivePending = [this, &result](std::int32_t count) {
    result.resize(static_cast<std::size_t>(count));
    const std::int32_t received = ReceiveSome(result.data(), count);
    // A failed call delivers nothing; its buffer holds no data.
    result.resize(static_cast<std::size_t>(std::max(received, 0)));
  };
  // At most two rounds: when the line-end repair eats the only byte that
  // came, the caller still gets data (or a failure), never an empty success.
  for (int round = 0; round < 2 && result.empty() && LastErrorCode == 0; ++round) {
    if (!ReadAhead.empty()) {
      result.swap(ReadAhead);
    } else if (const std::int32_t pending = AwaitPending(timeout); pending > 0) {
      receivePending(pending);
    }
    RepairLineEnd(result);
  }
  RaiseIfFailed();
  return result;
}

// Drops what is still buffered or already arriving, so that the close does
// not meet unread data (which would make the system reset the connection).
void TBlockSocket::Discard() {
  SleepMs(1);
  try {
    std::int64_t dropped = 0;
    while ((!ReadAhead.empty() || PendingBytes() >= 1) && dropped < kMaxDiscardBytes) {
      dropped += static_cast<std::int64_t>(ReceiveChunk(0).size());
      if (LastErrorCode != 0) {
        break;
      }
    }
  } catch (...) {
    // An owner's event handler or RaiseExcept must not stop the close.
  }
  ClearError();
}

// --- Addresses and name services --------------------------------------------------

std::string TBlockSocket::LocalAddressText() {
  return SockAddrToText(LocalAddress);
}
std::string TBlockSocket::RemoteAddressText() {
  return SockAddrToText(RemoteAddress);
}
std::int32_t TBlockSocket::LocalPortNumber() {
  return SockAddrPort(LocalAddress);
}
std::int32_t TBlockSocket::RemotePortNumber() {
  return SockAddrPort(RemoteAddress);
}
std::int32_t TBlockSocket::SocketKind() {
  return 0;
}
std::int32_t TBlockSocket::SocketProtocolNumber() {
  return 0;
}

std::string TBlockSocket::FirstAddressOf(const std::string& name) {
  std::vector<std::string> list;
  ResolveHostToList(name, AddressFamilyOf(Family), SocketProtocolNumber(), SocketKind(), list,
                    &StopFlag);
  return list.empty() ? std::string("0.0.0.0") : list.front();
}

std::int32_t TBlockSocket::PortNumberOf(const std::string& port) {
  return ResolveServicePort(port, AddressFamilyOf(Family), SocketProtocolNumber(), SocketKind());
}

std::string TBlockSocket::NameOfAddress(const std::string& address) {
  return ResolveAddressToName(FirstAddressOf(address), AddressFamilyOf(Family),
                              SocketProtocolNumber(), SocketKind(), &StopFlag);
}

std::string TBlockSocket::LocalMachineName() {
  std::string name = LocalHostName();
  return name.empty() ? std::string("127.0.0.1") : name;
}

}  // namespace movrek
