#include "net/http/http_body_decoder.h"

#include <algorithm>

#include "net/base/text_util.h"
#include "net/http/http_limits.h"
#include "text/ascii_text.h"

namespace movrek {

namespace {

// A chunk size (RFC 9112 section 7.1): hexadecimal digits, at most
// kBeyond32Bits; -1 when the text is no hexadecimal number.
std::int64_t ChunkSize(std::string_view text) {
  if (text.empty()) {
    return -1;
  }
  std::int64_t value = 0;
  for (const char c : text) {
    const int digit = HexDigitValue(c);
    if (digit < 0) {
      return -1;
    }
    value = std::min(value * 16 + digit, kBeyond32Bits);
  }
  return value;
}

// The size on a chunk-size line: extensions after ";" and anything after a
// blank are not part of it.
std::int64_t ChunkSizeOfLine(const std::string& line) {
  const std::string beforeBlank = TextBefore(line, " ");
  const std::string_view sizeText = TrimControls(beforeBlank);
  return ChunkSize(TrimControls(sizeText.substr(0, sizeText.find(';'))));
}

}  // namespace

THttpBodyDecoder::THttpBodyDecoder(THttpBodyFraming framing, std::int64_t length,
                                   std::size_t maxLine)
    : framing_(framing), lines_(maxLine) {
  switch (framing) {
    case THttpBodyFraming::UntilClose:
      raw_ = kUnbounded;
      break;
    case THttpBodyFraming::Counted:
      stretch_ = std::max<std::int64_t>(length, 0);
      raw_ = static_cast<std::uint64_t>(stretch_);
      if (raw_ == 0) {
        EndBody();
        state_ = TState::Done;
      }
      break;
    case THttpBodyFraming::Chunked:
      state_ = TState::SizeLine;
      break;
  }
}

THttpBodyDecoder::TStep THttpBodyDecoder::Feed(std::string_view bytes) {
  TStep step;
  if (state_ == TState::Data) {
    step.Consumed = lines_.DropPartner(bytes);
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(raw_, bytes.size() - step.Consumed));
    step.Body = bytes.substr(step.Consumed, take);
    step.Consumed += take;
    SkipRaw(take);
    return step;
  }
  while (step.Consumed < bytes.size() &&
         (state_ == TState::SizeLine || state_ == TState::Trailer)) {
    std::size_t consumed = 0;
    const THttpLineSplitter::TStatus status = lines_.Take(bytes.substr(step.Consumed), consumed);
    step.Consumed += consumed;
    if (status == THttpLineSplitter::TStatus::More) {
      break;
    }
    const TState before = state_;
    if (status == THttpLineSplitter::TStatus::TooLong) {
      // A trailer too long to read leaves the body whole.
      if (state_ == TState::Trailer) {
        state_ = TState::Abandoned;
      } else {
        Fail(THttpBodyFailure::LineTooLong);
      }
    } else if (state_ == TState::SizeLine) {
      TakeSizeLine(lines_.Line());
    } else {
      TakeTrailerLine(lines_.Line());
    }
    if (state_ != before) {
      break;
    }
  }
  return step;
}

void THttpBodyDecoder::TakeSizeLine(const std::string& line) {
  // The line end after a chunk's data arrives here as an empty line.
  if (line.empty()) {
    return;
  }
  const std::int64_t size = ChunkSizeOfLine(line);
  if (size == 0) {
    EndBody();
    state_ = TState::Trailer;
  } else if (size < 0) {
    // A size line that is no number leaves the rest of the body unframed:
    // what arrived is not the page.
    Fail(THttpBodyFailure::BadChunkSize);
  } else if (size >= kBeyond32Bits) {
    Fail(THttpBodyFailure::ChunkTooLarge);
  } else {
    stretch_ = size;
    raw_ = static_cast<std::uint64_t>(size);
    state_ = TState::Data;
  }
}

// RFC 9112 section 7.1.2: trailer fields are read and dropped.
void THttpBodyDecoder::TakeTrailerLine(const std::string& line) {
  if (line.empty()) {
    state_ = TState::Done;
    return;
  }
  trailerBytes_ += line.size();
  if (trailerBytes_ > kMaxHeadBytes) {
    state_ = TState::Abandoned;
  }
}

void THttpBodyDecoder::Close() {
  if (state_ == TState::Data && raw_ == kUnbounded) {
    EndBody();
    state_ = TState::Done;
  } else if (state_ == TState::Trailer) {
    state_ = TState::Abandoned;
  } else if (state_ == TState::Data || state_ == TState::SizeLine) {
    Fail(THttpBodyFailure::CutShort);
  }
}

std::uint64_t THttpBodyDecoder::RawBodyAhead() const {
  return state_ == TState::Data ? raw_ : 0;
}

void THttpBodyDecoder::SkipRaw(std::uint64_t count) {
  if (state_ != TState::Data || raw_ == kUnbounded) {
    return;
  }
  raw_ -= std::min(count, raw_);
  if (raw_ > 0) {
    return;
  }
  if (framing_ == THttpBodyFraming::Chunked) {
    state_ = TState::SizeLine;
  } else {
    EndBody();
    state_ = TState::Done;
  }
}

void THttpBodyDecoder::EndBody() {
  bodyComplete_ = true;
}

void THttpBodyDecoder::Fail(THttpBodyFailure failure) {
  failure_ = failure;
  state_ = TState::Failed;
}

}  // namespace movrek
