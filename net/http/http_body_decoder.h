// Takes the transfer framing off a response body (RFC 9112 section 6),
// holding no socket: the caller feeds the bytes after the head as they
// arrive and gets the body bytes back, then its end.
//
// Another framing plugs into the same path. An HTTP/2 stream, for one, has
// no framing left in its DATA bytes: its HEADERS become a THttpResponseHead
// (":status" as StatusCode, each field a "name: value" line in FieldLines,
// then an empty line), BodyPlanOf and the request method choose the
// decoder's framing as for HTTP/1 (a content-length makes a counted body
// that the stream must fill exactly, none a body that runs to the stream's
// end), each DATA payload is fed, and END_STREAM is Close(). The body bytes
// then go where HTTP/1's go: to THttpBodySink::TakeBody, which removes any
// content coding, or to the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/http/http_line_splitter.h"
#include "net/http/http_response_head.h"

namespace movrek {

enum class THttpBodyFailure {
  None,
  CutShort,       // the connection closed before the framing's end
  LineTooLong,    // a chunk-size line passed the line bound
  BadChunkSize,   // a chunk-size line that is no hexadecimal number
  ChunkTooLarge,  // a chunk size no 32-bit count can hold
};

class THttpBodyDecoder {
 public:
  // What one call to Feed took and gave.
  struct TStep {
    std::size_t Consumed = 0;
    std::string_view Body;  // body bytes: a part of the bytes fed
  };

  // `length` is the size of a counted body; chunk-size and trailer lines
  // longer than maxLine bytes are refused. A body known to be empty (the
  // answer to HEAD, a 204 or 304) is Counted with length 0.
  THttpBodyDecoder(THttpBodyFraming framing, std::int64_t length, std::size_t maxLine);

  // Takes bytes from the front of `bytes`. Returns at each step the caller
  // may act on: body bytes given, a chunk begun, the body or the message
  // ended, a failure; call again with the rest while Consumed is not 0.
  TStep Feed(std::string_view bytes);
  // The connection closed (for HTTP/2: the stream ended): a body that runs
  // until the close ends, any other not yet ended is cut short.
  void Close();

  // The next bytes that are body as they arrive, without framing: the rest
  // of a counted body or of a chunk, kUnbounded until the close, 0 while
  // framing is due. The caller may take them itself (straight from the
  // socket into their place) and report them with SkipRaw.
  [[nodiscard]] std::uint64_t RawBodyAhead() const;
  void SkipRaw(std::uint64_t count);
  // The size of the chunk being read (of the whole body when counted).
  [[nodiscard]] std::int64_t StretchSize() const { return stretch_; }

  // All body bytes are out; a trailer may still follow.
  [[nodiscard]] bool BodyComplete() const { return bodyComplete_; }
  // The trailer too: nothing of this message is left on the connection.
  [[nodiscard]] bool MessageComplete() const { return state_ == TState::Done; }
  // Reading the trailer was given up (too long, cut): the body stands, but
  // the connection holds an unknown rest.
  [[nodiscard]] bool TrailerAbandoned() const { return state_ == TState::Abandoned; }
  [[nodiscard]] THttpBodyFailure Failure() const { return failure_; }
  [[nodiscard]] bool MidLine() const { return lines_.MidLine(); }
  // See THttpLineSplitter: the head (or a size line) ended with a lone CR or
  // LF at the end of the input, so its partner may open the next.
  char TakePendingPartner() { return lines_.TakePendingPartner(); }
  void AwaitPartner(char partner) { lines_.AwaitPartner(partner); }

  static constexpr std::uint64_t kUnbounded = UINT64_MAX;

 private:
  enum class TState {
    Data,      // raw body bytes: raw_ more, or until the close
    SizeLine,  // a chunk-size line (empty lines before it skipped)
    Trailer,   // trailer lines up to the empty line
    Done,
    Abandoned,  // the body ended; its trailer was not read to its end
    Failed,
  };

  void TakeSizeLine(const std::string& line);
  void TakeTrailerLine(const std::string& line);
  void EndBody();
  void Fail(THttpBodyFailure failure);

  THttpBodyFraming framing_;
  THttpLineSplitter lines_;
  TState state_ = TState::Data;
  std::uint64_t raw_ = 0;  // raw body bytes still due in state Data
  std::int64_t stretch_ = 0;
  std::size_t trailerBytes_ = 0;
  bool bodyComplete_ = false;
  THttpBodyFailure failure_ = THttpBodyFailure::None;
};

}  // namespace movrek
