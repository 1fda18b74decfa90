#include "net/http/h2_session.h"

#include <nghttp2/nghttp2.h>

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "net/base/socket_api.h"
#include "net/http/h2_limits.h"

namespace movrek {

namespace {

struct TSessionFree {
  void operator()(nghttp2_session* session) const { nghttp2_session_del(session); }
};
struct TCallbacksFree {
  void operator()(nghttp2_session_callbacks* callbacks) const {
    nghttp2_session_callbacks_del(callbacks);
  }
};
struct TOptionFree {
  void operator()(nghttp2_option* option) const { nghttp2_option_del(option); }
};

// What a stream the connection carries needs beyond what its page sees.
struct TOpenStream {
  std::shared_ptr<TH2Stream> Stream;
  std::size_t HeadBytes = 0;  // RFC 9113 section 6.5.2 counting
  std::string Failure;        // why this side reset it
};

std::string ResetText(std::uint32_t code) {
  return std::string("the server reset the stream (") + nghttp2_http2_strerror(code) + ")";
}

}  // namespace

// Everything of the connection that only its thread touches: the nghttp2
// session, the streams by number, the flood watch.
struct THttp2Session::TIo {
  explicit TIo(THttp2Session& owner) : Owner(owner), Sock(*owner.sock_) {}

  bool Start();
  void Apply(TCommand& command);
  // Hands what nghttp2 has to send to the socket; false on a failure.
  bool Flush();
  // Waits for bytes from the server (or a wake); true when some are there.
  bool AwaitReadable();
  // Reads once and feeds nghttp2; false when the connection is over.
  bool ReadOnce(std::vector<char>& buffer);
  void EndStream(std::int32_t id, TH2StreamEnd end, std::string reason);
  // Ends every stream: the connection is over.
  void FailAll(const std::string& failure, bool ownClose);
  // One more control frame; false when the server sends too many.
  bool CountControlFrame();
  void GoingAway() { Owner.MarkGoingAway(); }
  void StreamLimit(std::uint32_t limit) {
    if (Owner.on_limit_) {
      Owner.on_limit_(static_cast<int>(std::min<std::uint32_t>(limit, 0x7fffffff)));
    }
  }

  THttp2Session& Owner;
  TTCPBlockSocket& Sock;
  std::unique_ptr<nghttp2_session, TSessionFree> Session;
  std::unordered_map<std::int32_t, TOpenStream> Streams;
  std::string Failure;
  bool Lost = false;  // the connection broke (not the protocol)
  TClock::time_point FloodWindow = TClock::now();
  int ControlFrames = 0;
};

namespace {

THttp2Session::TIo& IoOf(void* data) {
  return *static_cast<THttp2Session::TIo*>(data);
}

int OnHeader(nghttp2_session* /*session*/, const nghttp2_frame* frame, const std::uint8_t* name,
             std::size_t nameLength, const std::uint8_t* value, std::size_t valueLength,
             std::uint8_t /*flags*/, void* data) {
  auto& io = IoOf(data);
  const auto found = io.Streams.find(frame->hd.stream_id);
  if (found == io.Streams.end()) {
    return 0;
  }
  TOpenStream& open = found->second;
  open.HeadBytes += nameLength + valueLength + 32;
  if (open.HeadBytes > kH2MaxHeadListBytes) {
    open.Failure = "response head larger than " + std::to_string(kH2MaxHeadListBytes) + " bytes";
    return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE;  // resets the stream
  }
  open.Stream->AddField(std::string_view(reinterpret_cast<const char*>(name), nameLength),
                        std::string_view(reinterpret_cast<const char*>(value), valueLength));
  return 0;
}

int OnFrameReceived(nghttp2_session* session, const nghttp2_frame* frame, void* data) {
  auto& io = IoOf(data);
  switch (frame->hd.type) {
    case NGHTTP2_HEADERS:
      if (const auto found = io.Streams.find(frame->hd.stream_id); found != io.Streams.end()) {
        found->second.Stream->EndHead();
      }
      return 0;
    case NGHTTP2_DATA:
      if (frame->hd.length > 0 || (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) != 0) {
        return 0;
      }
      break;
    case NGHTTP2_GOAWAY:
      io.GoingAway();
      break;
    case NGHTTP2_SETTINGS:
      if ((frame->hd.flags & NGHTTP2_FLAG_ACK) == 0) {
        io.StreamLimit(
            nghttp2_session_get_remote_settings(session, NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS));
      }
      break;
    default:
      break;
  }
  return io.CountControlFrame() ? 0 : NGHTTP2_ERR_CALLBACK_FAILURE;
}

int OnDataChunk(nghttp2_session* session, std::uint8_t /*flags*/, std::int32_t id,
                const std::uint8_t* bytes, std::size_t length, void* data) {
  auto& io = IoOf(data);
  // The connection's window is the streams' together; each stream's own
  // window bounds what waits for its page.
  nghttp2_session_consume_connection(session, length);
  const auto found = io.Streams.find(id);
  if (found == io.Streams.end() || found->second.Stream->Cancelled()) {
    nghttp2_session_consume_stream(session, id, length);
    return 0;
  }
  found->second.Stream->AddBody(std::string_view(reinterpret_cast<const char*>(bytes), length));
  return 0;
}

int OnStreamClosed(nghttp2_session* /*session*/, std::int32_t id, std::uint32_t code, void* data) {
  auto& io = IoOf(data);
  const auto found = io.Streams.find(id);
  if (found == io.Streams.end()) {
    return 0;
  }
  std::string reason = found->second.Failure;
  TH2StreamEnd end = TH2StreamEnd::Failed;
  if (code == NGHTTP2_NO_ERROR && reason.empty()) {
    end = TH2StreamEnd::Complete;
  } else if (code == NGHTTP2_REFUSED_STREAM && !found->second.Stream->Answered()) {
    // RFC 9113 section 8.7: refused (or beyond a GOAWAY's last stream),
    // the request was not acted on and may go again.
    end = TH2StreamEnd::Unprocessed;
    reason = "the server refused the stream (REFUSED_STREAM)";
  } else if (reason.empty()) {
    reason = found->second.Stream->Cancelled() ? "cancelled" : ResetText(code);
  }
  io.EndStream(id, end, std::move(reason));
  return 0;
}

int OnFrameNotSent(nghttp2_session* /*session*/, const nghttp2_frame* frame, int error,
                   void* data) {
  auto& io = IoOf(data);
  if (frame->hd.type == NGHTTP2_HEADERS) {
    io.EndStream(frame->hd.stream_id, TH2StreamEnd::Unprocessed,
                 std::string("the request could not be sent (") + nghttp2_strerror(error) + ")");
  }
  return 0;
}

}  // namespace

bool THttp2Session::TIo::Start() {
  nghttp2_session_callbacks* raw_callbacks = nullptr;
  nghttp2_option* raw_option = nullptr;
  if (nghttp2_session_callbacks_new(&raw_callbacks) != 0 || nghttp2_option_new(&raw_option) != 0) {
    Failure = "out of memory";
    return false;
  }
  const std::unique_ptr<nghttp2_session_callbacks, TCallbacksFree> callbacks(raw_callbacks);
  const std::unique_ptr<nghttp2_option, TOptionFree> option(raw_option);
  nghttp2_session_callbacks_set_on_header_callback(raw_callbacks, OnHeader);
  nghttp2_session_callbacks_set_on_frame_recv_callback(raw_callbacks, OnFrameReceived);
  nghttp2_session_callbacks_set_on_data_chunk_recv_callback(raw_callbacks, OnDataChunk);
  nghttp2_session_callbacks_set_on_stream_close_callback(raw_callbacks, OnStreamClosed);
  nghttp2_session_callbacks_set_on_frame_not_send_callback(raw_callbacks, OnFrameNotSent);
  // The window of a stream opens again only as its page takes the bytes.
  nghttp2_option_set_no_auto_window_update(raw_option, 1);
  nghttp2_option_set_max_continuations(raw_option, kH2MaxContinuations);
  nghttp2_option_set_max_settings(raw_option, kH2MaxSettingsEntries);
  nghttp2_option_set_max_outbound_ack(raw_option, kH2MaxQueuedAcks);
  nghttp2_option_set_stream_reset_rate_limit(raw_option, kH2ResetBurst, kH2ResetsPerSecond);
  nghttp2_option_set_max_reserved_remote_streams(raw_option, 0);
  nghttp2_session* raw_session = nullptr;
  if (nghttp2_session_client_new2(&raw_session, raw_callbacks, this, raw_option) != 0) {
    Failure = "out of memory";
    return false;
  }
  Session.reset(raw_session);
  const nghttp2_settings_entry settings[] = {
      {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
      {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, static_cast<std::uint32_t>(kH2StreamWindowBytes)},
      {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, kH2MaxHeadListBytes},
  };
  return nghttp2_submit_settings(raw_session, NGHTTP2_FLAG_NONE, settings, std::size(settings)) ==
             0 &&
         nghttp2_session_set_local_window_size(raw_session, NGHTTP2_FLAG_NONE, 0,
                                               kH2ConnectionWindowBytes) == 0;
}

void THttp2Session::TIo::Apply(TCommand& command) {
  TH2Stream& stream = *command.Stream;
  switch (command.Kind) {
    case TCommandKind::Open: {
      std::vector<nghttp2_nv> fields;
      fields.reserve(command.Fields.size());
      for (auto& [name, value] : command.Fields) {
        fields.push_back({reinterpret_cast<std::uint8_t*>(name.data()),
                          reinterpret_cast<std::uint8_t*>(value.data()), name.size(), value.size(),
                          NGHTTP2_NV_FLAG_NONE});
      }
      // nghttp2 copies the fields; requests beyond the server's stream limit
      // wait inside it until a stream ends.
      const std::int32_t id = nghttp2_submit_request(Session.get(), nullptr, fields.data(),
                                                     fields.size(), nullptr, nullptr);
      if (id < 0) {
        stream.Finish(TH2StreamEnd::Unprocessed,
                      std::string("the request could not be sent (") + nghttp2_strerror(id) + ")");
        Owner.StreamEnded();
        return;
      }
      stream.Id = id;
      Streams[id] = TOpenStream{command.Stream, 0, {}};
      return;
    }
    case TCommandKind::Consumed:
      if (const std::size_t taken = stream.TakeConsumed(); taken > 0 && Streams.count(stream.Id)) {
        nghttp2_session_consume_stream(Session.get(), stream.Id, taken);
      }
      return;
    case TCommandKind::Cancel:
      if (Streams.count(stream.Id) != 0) {
        nghttp2_submit_rst_stream(Session.get(), NGHTTP2_FLAG_NONE, stream.Id, NGHTTP2_CANCEL);
      }
      return;
  }
}

bool THttp2Session::TIo::Flush() {
  std::string out;
  for (;;) {
    const std::uint8_t* bytes = nullptr;
    const ssize_t length = nghttp2_session_mem_send(Session.get(), &bytes);
    if (length < 0) {
      if (Failure.empty()) {
        Failure = std::string("HTTP/2 error: ") + nghttp2_strerror(static_cast<int>(length));
      }
      return false;
    }
    if (length > 0) {
      out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    }
    // Frames go out together, in pieces of a sensible size.
    if ((length == 0 && !out.empty()) || out.size() >= static_cast<std::size_t>(kH2ReadBytes)) {
      Sock.SendBytes(out.data(), static_cast<std::int32_t>(out.size()));
      if (Sock.LastErrorCode != 0) {
        // The first failure is the one that tells why.
        if (Failure.empty()) {
          Lost = true;
          Failure = "connection lost: " + TBlockSocket::GetErrorDesc(Sock.LastErrorCode);
        }
        return false;
      }
      out.clear();
    }
    if (length == 0) {
      return true;
    }
  }
}

bool THttp2Session::TIo::AwaitReadable() {
  if (Sock.PendingBytes() > 0) {
    return true;
  }
  TSocketSet ready;
  SocketSetClear(ready);
  SocketSetAdd(Sock.Handle, ready);
  SocketSetAdd(Owner.wake_.Handle(), ready);
  return SocketSelect(&ready, nullptr, nullptr, kH2PollMs) > 0 &&
         SocketSetContains(ready, Sock.Handle);
}

bool THttp2Session::TIo::ReadOnce(std::vector<char>& buffer) {
  const std::int32_t got =
      Sock.ReceiveSome(buffer.data(), static_cast<std::int32_t>(buffer.size()));
  if (Sock.LastErrorCode != 0 || got <= 0) {
    Lost = true;
    Failure = Sock.LastErrorCode == 0
                  ? "the server closed the connection"
                  : "connection lost: " + TBlockSocket::GetErrorDesc(Sock.LastErrorCode);
    return false;
  }
  const ssize_t used =
      nghttp2_session_mem_recv(Session.get(), reinterpret_cast<const std::uint8_t*>(buffer.data()),
                               static_cast<std::size_t>(got));
  if (used >= 0) {
    return true;
  }
  if (used == NGHTTP2_ERR_FLOODED || used == NGHTTP2_ERR_CALLBACK_FAILURE) {
    nghttp2_session_terminate_session(Session.get(), NGHTTP2_ENHANCE_YOUR_CALM);
    Failure = "the server floods the connection with control frames";
  } else {
    Failure = std::string("HTTP/2 protocol error: ") + nghttp2_strerror(static_cast<int>(used));
  }
  Flush();  // the GOAWAY, if it can still go
  return false;
}

bool THttp2Session::TIo::CountControlFrame() {
  const TClock::time_point now = TClock::now();
  if (now - FloodWindow >= std::chrono::seconds(1)) {
    FloodWindow = now;
    ControlFrames = 0;
  }
  return ++ControlFrames <= kH2MaxControlFramesPerSecond;
}

void THttp2Session::TIo::EndStream(std::int32_t id, TH2StreamEnd end, std::string reason) {
  const auto found = Streams.find(id);
  if (found == Streams.end()) {
    return;
  }
  found->second.Stream->Finish(end, std::move(reason));
  Streams.erase(found);
  Owner.StreamEnded();
}

void THttp2Session::TIo::FailAll(const std::string& failure, bool ownClose) {
  while (!Streams.empty()) {
    const auto first = Streams.begin();
    // A connection that broke, or that this side closed, may not have shown
    // the server a request that got no answer: it may go again. One that
    // broke the protocol would only do so again.
    TH2StreamEnd end = TH2StreamEnd::Failed;
    if (Lost || ownClose) {
      end = first->second.Stream->Answered() ? TH2StreamEnd::Lost : TH2StreamEnd::Unprocessed;
    }
    EndStream(first->first, end, failure);
  }
}

THttp2Session::THttp2Session(std::unique_ptr<TTCPBlockSocket> sock, TStreamLimitHook onLimit)
    : sock_(std::move(sock)), on_limit_(std::move(onLimit)) {
  // Failures are the connection's thread's to handle, never exceptions.
  sock_->RaiseExcept = false;
  sock_->StopFlag.store(false);
  thread_ = std::thread([this] { Run(); });
}

THttp2Session::~THttp2Session() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.Signal();
  thread_.join();
}

void THttp2Session::Run() {
  TIo io(*this);
  std::vector<char> buffer(static_cast<std::size_t>(kH2ReadBytes));
  bool stopping = false;
  if (io.Start()) {
    for (;;) {
      wake_.Clear();
      std::vector<TCommand> commands;
      {
        std::lock_guard<std::mutex> guard(lock_);
        commands.swap(commands_);
        stopping = stopping_;
      }
      if (stopping) {
        nghttp2_session_terminate_session(io.Session.get(), NGHTTP2_NO_ERROR);
        io.Failure = "the connection was closed";
        io.Flush();
        break;
      }
      for (TCommand& command : commands) {
        io.Apply(command);
      }
      if (!io.Flush()) {
        break;
      }
      if (nghttp2_session_want_read(io.Session.get()) == 0 &&
          nghttp2_session_want_write(io.Session.get()) == 0) {
        io.Failure = "the server ended the connection (GOAWAY)";
        break;
      }
      if (io.AwaitReadable() && !io.ReadOnce(buffer)) {
        break;
      }
    }
  }
  MarkDead(io.Failure);
  io.FailAll(io.Failure, stopping);
  std::vector<TCommand> left;
  {
    std::lock_guard<std::mutex> guard(lock_);
    left.swap(commands_);
  }
  for (TCommand& command : left) {
    if (command.Kind == TCommandKind::Open) {
      command.Stream->Finish(TH2StreamEnd::Unprocessed, io.Failure);
      StreamEnded();
    }
  }
  sock_->CloseConnection();
}

std::shared_ptr<TH2Stream> THttp2Session::Open(std::vector<TH2Stream::TField> fields) {
  auto stream = std::make_shared<TH2Stream>();
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dead_ || going_away_ || stopping_) {
      return nullptr;
    }
    ++streams_;
    commands_.push_back(TCommand{TCommandKind::Open, stream, std::move(fields)});
  }
  wake_.Signal();
  return stream;
}

void THttp2Session::Consumed(const std::shared_ptr<TH2Stream>& stream) {
  Post(TCommand{TCommandKind::Consumed, stream, {}});
}

void THttp2Session::Cancel(const std::shared_ptr<TH2Stream>& stream) {
  stream->Cancel();
  Post(TCommand{TCommandKind::Cancel, stream, {}});
}

void THttp2Session::Post(TCommand command) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (dead_) {
      return;
    }
    commands_.push_back(std::move(command));
  }
  wake_.Signal();
}

bool THttp2Session::Usable() const {
  std::lock_guard<std::mutex> guard(lock_);
  return !dead_ && !going_away_ && !stopping_;
}

int THttp2Session::Streams() const {
  std::lock_guard<std::mutex> guard(lock_);
  return streams_;
}

THttp2Session::TClock::time_point THttp2Session::IdleSince() const {
  std::lock_guard<std::mutex> guard(lock_);
  return idle_since_;
}

std::string THttp2Session::Failure() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failure_;
}

void THttp2Session::StreamEnded() {
  std::lock_guard<std::mutex> guard(lock_);
  if (--streams_ == 0) {
    idle_since_ = TClock::now();
  }
}

void THttp2Session::MarkGoingAway() {
  std::lock_guard<std::mutex> guard(lock_);
  going_away_ = true;
}

void THttp2Session::MarkDead(const std::string& failure) {
  std::lock_guard<std::mutex> guard(lock_);
  dead_ = true;
  failure_ = failure;
}

}  // namespace movrek
