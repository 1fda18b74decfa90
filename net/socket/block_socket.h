// The protocol-neutral blocking socket: error model, receive buffer, send and
// receive operations with time-outs, waits, cooperative stop, bandwidth
// limiter and status events. Used by one thread at a time; only StopFlag may
// be set from another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "net/base/name_lookup.h"
#include "net/base/socket_api.h"
#include "net/socket/socket_limits.h"
#include "net/socket/socket_option.h"
#include "net/socket/socket_types.h"

namespace movrek {

class TBlockSocket {
 public:
  TBlockSocket();
  // Closes the connection (CloseConnection) first.
  virtual ~TBlockSocket();
  TBlockSocket(const TBlockSocket&) = delete;
  TBlockSocket& operator=(const TBlockSocket&) = delete;

  // --- Fields (plain where the owner reads or sets them) ---
  THookSocketStatus OnStatus;
  THookDataFilter OnReadFilter;
  THookCreateSocket OnCreateSocket;  // after a handle was created and queued options applied
  THookMonitor OnMonitor;
  THookHeartbeat OnHeartbeat;  // during long waits when HeartbeatRate is not 0
  TSockAddrAny LocalAddress{};
  TSockAddrAny RemoteAddress{};
  std::int32_t Tag = 0;
  // Received from the system but not yet handed out; survives between
  // operations on the same handle.
  std::string ReadAhead;
  bool RaiseExcept = false;
  bool NonBlocking = false;
  // Limit on the text gathered while looking for a line end; 0 = none.
  std::int32_t MaxLineLength = 0;
  std::int32_t MaxSendBandwidth = 0;  // bytes per second; 0 or less = unlimited
  std::uint32_t NextSendTick = 0;
  std::int32_t MaxRecvBandwidth = 0;
  std::uint32_t NextRecvTick = 0;
  // Line reading accepts CR, LF, CR LF and LF CR as line ends.
  bool ConvertLineEnd = false;
  // ReceiveChunk gives up the processor once before it asks what is pending.
  // On a busy machine each such yield can cost the thread a whole time slice,
  // so a client that waits in select anyway may turn it off.
  bool YieldBeforeReceive = true;
  // The last line taken in line-end mode ended with a single CR (or LF) that
  // was the last byte at hand, so its partner may still arrive.
  bool SawLoneCR = false;
  bool SawLoneLF = false;
  bool IsBound = false;
  TSocketFamily Family = SF_Any;
  TSocketFamily FamilyDefault = SF_Any;  // Family returns to it at every close
  bool UsesIPv6 = false;
  bool PreferIP4 = true;
  // Where the names this socket connects to are looked up; empty: the
  // system's name servers.
  TNameServers NameServers;
  // Options set while no handle exists, newest first.
  std::deque<TSocketOption> QueuedOptions;
  // True: a time-out applies to each single wait; false: to a whole operation.
  bool InterPacketTimeout = true;
  TSocketSet ReadSet{};  // exactly the current handle; copied for every wait
  std::int32_t BytesReceived = 0;
  std::int32_t BytesSent = 0;
  std::int32_t SendMaxChunk = kDefaultSendMaxChunkBytes;
  // Request to abandon the current operation; any thread may set it.
  std::atomic<bool> StopFlag{false};
  std::int32_t NonblockSendTimeout = kDefaultNonblockSendTimeoutMs;
  std::int32_t HeartbeatRate = 0;  // ms; 0 = off
  TSocket Handle = INVALID_SOCKET;
  std::int32_t LastErrorCode = 0;  // Windows Sockets numbering, 0 = none
  std::string LastErrorText;

  // Sets both Family and FamilyDefault.
  virtual void ChangeFamily(TSocketFamily value);
  // Sets both bandwidth limits.
  void SetMaxBandwidth(std::int32_t value);

  // --- Life cycle and connection ---
  // Takes over an existing connected handle.
  virtual void AdoptHandle(TSocket handle);
  // Orderly close; every close reports HR_SocketClose.
  virtual void CloseConnection();
  virtual void DropHandle();
  // Resolves and connects; the result is in LastErrorCode.
  virtual void ConnectTo(const std::string& host, const std::string& port);
  // Binds to a local address. With no handle, Family SF_Any, "0.0.0.0" and
  // "0" it does nothing at all.
  void BindTo(const std::string& ip, const std::string& port);

  // --- Sending (each returns the number of bytes sent) ---
  // Sends the stream data in pieces of at most SendMaxChunk, with a four-byte
  // count in front when withSize is set (most significant byte first when
  // bigEndian); returns the stream bytes sent.
  virtual std::int64_t SendStreamFramed(std::string_view stream, bool withSize, bool bigEndian);
  virtual std::int32_t SendBytes(const void* buffer, std::int32_t length);
  virtual std::int32_t SendOctet(std::uint8_t value);
  virtual std::int32_t SendText(const std::string& text);
  virtual std::int32_t SendInt32(std::int32_t value);  // least significant byte first
  virtual std::int32_t SendLengthPrefixed(const std::string& text);
  // The stream is the data from its current position on.
  virtual std::int64_t SendStreamPlain(std::string_view stream);
  virtual std::int64_t SendStreamSized(std::string_view stream);
  virtual std::int64_t SendStreamSizedBigEndian(std::string_view stream);
  // One datagram to RemoteAddress.
  virtual std::int32_t SendBytesTo(const void* buffer, std::int32_t length);

  // --- Receiving ---
  // Exactly one receive call, no waiting first.
  virtual std::int32_t ReceiveSome(void* buffer, std::int32_t length);
  // Whatever is available (ReadAhead first), waiting up to timeout ms
  // (-1 = without limit) for something to arrive.
  virtual std::string ReceiveChunk(std::int32_t timeout);
  // The text before the terminator, which is consumed; what came after it
  // stays in ReadAhead, and so does everything on failure.
  virtual std::string ReceiveUntil(std::int32_t timeout, const std::string& terminator);
  // ReceiveUntil(timeout, CR LF), empty on failure.
  virtual std::string ReceiveLine(std::int32_t timeout);
  // Exactly length bytes unless an error intervenes; returns the count copied.
  virtual std::int32_t ReceiveExact(void* buffer, std::int32_t length, std::int32_t timeout);
  // Empty on any failure and for a length below 1.
  virtual std::string ReceiveExactText(std::int32_t length, std::int32_t timeout);
  virtual std::uint8_t ReceiveOctet(std::int32_t timeout);  // 0 on failure
  virtual std::int32_t ReceiveInt32(std::int32_t timeout);  // least significant byte first
  virtual std::string ReceiveLengthPrefixed(std::int32_t timeout);
  // Appends size bytes to stream in blocks of SendMaxChunk; on failure the
  // stream keeps the blocks that were complete.
  void ReceiveIntoStream(std::string& stream, std::int32_t timeout, std::int64_t size);
  // Appends chunks until any error (the time-out included) ends it.
  virtual void ReceiveStreamToEnd(std::string& stream, std::int32_t timeout);
  // A four-byte count (least / most significant byte first), then that many bytes.
  virtual void ReceiveStreamSized(std::string& stream, std::int32_t timeout);
  virtual void ReceiveStreamSizedBigEndian(std::string& stream, std::int32_t timeout);
  // One receive call that leaves the data queued in the system.
  virtual std::int32_t PeekBytes(void* buffer, std::int32_t length);
  virtual std::uint8_t PeekOctet(std::int32_t timeout);
  // Bytes readable without waiting; 0 when the query fails; at most kMaxPendingBytes.
  virtual std::int32_t PendingBytes();
  // One datagram; the sender is stored in RemoteAddress.
  virtual std::int32_t ReceiveBytesFrom(void* buffer, std::int32_t length);

  // --- Waiting ---
  virtual bool WaitReadable(std::int32_t timeout);
  // True at once when ReadAhead holds data.
  virtual bool ReadableOrBuffered(std::int32_t timeout);
  virtual bool WaitWritable(std::int32_t timeout);
  // The wait of a layer that moves the socket's data itself from inside a
  // library call (the TLS transport): time-out and stop as in WaitReadable /
  // WaitWritable, but no heartbeat, status event or exception. Returns 0 when
  // the handle is ready, else the error, also left in LastErrorCode: 10060 at
  // the time-out, 10053 for a (consumed) stop, or the system's.
  std::int32_t AwaitHandle(bool forWrite, std::int32_t timeout);
  // The time-out of the receive under way, for such a layer waiting on its
  // behalf (a TLS record that arrives in parts); fallback until a receive
  // has waited on this socket.
  [[nodiscard]] std::int32_t ReceiveTimeoutInForce(std::int32_t fallback) const;

  // --- Errors ---
  void ClearError();
  // Clears the error; for the failure result -1 fetches the system's last
  // socket error. Returns LastErrorCode.
  virtual std::int32_t CheckResult(std::int32_t apiResult);
  // Refreshes LastErrorText, reports HR_Error for a real failure and raises
  // ESocketError when RaiseExcept is set.
  void RaiseIfFailed();
  // "" for 0, the table text, or "Other Winsock error (N)".
  static std::string GetErrorDesc(std::int32_t code);
  virtual std::string GetErrorDescEx();

  // --- Addresses and name services ---
  virtual std::string LocalAddressText();
  virtual std::string RemoteAddressText();
  virtual std::int32_t LocalPortNumber();
  virtual std::int32_t RemotePortNumber();
  virtual std::int32_t SocketKind();            // 0 here; SOCK_STREAM for TCP
  virtual std::int32_t SocketProtocolNumber();  // 0 here; IPPROTO_TCP for TCP
  // First resolved address ("0.0.0.0" when nothing resolves).
  std::string FirstAddressOf(const std::string& name);
  std::int32_t PortNumberOf(const std::string& port);
  std::string NameOfAddress(const std::string& address);
  std::string LocalMachineName();  // "127.0.0.1" when the system gives none

  // --- Options ---
  // Applied at once on an open handle, else queued for the next one.
  void SetSocketOption(const TSocketOption& option);
  void SetNonBlockMode(bool value);
  void SetLinger(bool enabled, std::int32_t milliseconds);

 protected:
  // Hands one piece of at most SendMaxChunk bytes to the transport; returns
  // what it took, with any failure in LastErrorCode. SendBytes and its family
  // go through here, so a transport (TLS) replaces only this step.
  virtual std::int32_t SendPiece(const char* data, std::int32_t length);
  // Reports a status event when OnStatus is assigned.
  void ReportStatus(THookSocketReason reason, const std::string& value);
  // Resolves host:port into address with the family choice; result in LastErrorCode.
  void FillAddress(TSockAddrAny& address, const std::string& host, const std::string& port);
  // All addresses of one family pass (FillSockAddrList); result in LastErrorCode.
  void FillAddresses(std::vector<TSockAddrAny>& list, const std::string& host,
                     const std::string& port, int pass);
  // The family a lookup of host asks for: the socket's, or the one of an
  // address text; AF_UNSPEC for a name on a socket of any family.
  [[nodiscard]] int LookupFamily(const std::string& host) const;
  // Creates the handle when there is none and connects it; false with
  // LastErrorCode set on a failure.
  bool ConnectAddress(const TSockAddrAny& address);
  // Creates the handle for the address family if none exists.
  void CreateHandle(const TSockAddrAny& address);
  void ApplyOption(const TSocketOption& option);
  // The pending stop request, if any, is consumed: 10053, answer true.
  bool ConsumeStop();
  // Sleeps until nextTick, then books the time the next length bytes take.
  void Throttle(std::int32_t length, std::int32_t maxRate, std::uint32_t& nextTick);
  // Reads and drops what is still buffered or arriving.
  void Discard();
  // The select used by every wait: on a copy of ReadSet, readable or writable.
  bool PollReady(std::int32_t ms, bool forWrite);
  virtual bool PollReadable(std::int32_t ms);
  // PollReady for up to ms (negative: without limit) in slices of
  // kStopCheckSliceMs; a stop request seen between slices is consumed and
  // ends the wait with 10053. Fires no event.
  bool PollSliced(std::int32_t ms, bool forWrite);
  // Connects the handle; a blocking socket's wait for the answer honours
  // StopFlag. Returns LastErrorCode.
  std::int32_t ConnectHandle(const TSockAddrAny& address);
  // Book-keeping after a positive receive: counters, events, read filter.
  // Returns the (possibly shortened) count.
  std::int32_t AfterReceive(void* buffer, std::int32_t count);
  // Waits up to timeout ms until the system holds data and returns how much
  // (at most kMaxPendingBytes); 0 with 10054 (peer closed), 10060 or another
  // error set otherwise.
  std::int32_t AwaitPending(std::int32_t timeout);
  // Line-end repair of a chunk taken in line-end mode.
  void RepairLineEnd(std::string& chunk);

  // Set by a descendant's destructor once it has closed the connection
  // itself, so that the base destructor does not close (and report) twice.
  bool closedForDestruction_ = false;

 private:
  // Recorded by every receive that waits; -1 means without limit.
  std::int32_t receiveTimeout_ = 0;
  bool receiveTimeoutSet_ = false;
};

}  // namespace movrek
