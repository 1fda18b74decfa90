#include "net/http/content_decoder.h"

#include <brotli/decode.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdint>

#include "net/http/header_fields.h"
#include "net/http/http_limits.h"
#include "text/ascii_text.h"

namespace movrek {

// One coding undone. Decode takes every byte of `in` (or fails); the pieces
// it makes go to `out` as they come.
class TContentDecoder::TStage {
 public:
  virtual ~TStage() = default;
  // False when `out` declined more, or (with `error` set) on corrupt data.
  virtual bool Decode(std::string_view in, const TDecodedOut& out, std::string& error) = 0;
  // The coded stream reached its end (a body of no bytes counts as ended).
  [[nodiscard]] virtual bool Ended() const = 0;

 protected:
  std::vector<char> piece_ = std::vector<char>(kDecodedPieceBytes);
};

namespace {

// gzip (RFC 1952) and deflate: RFC 9110 section 8.4.1.2 means the zlib
// format (RFC 1950), but servers have long sent raw deflate (RFC 1951) under
// that name, and a zlib header tells the two apart.
class TZlibStage final : public TContentDecoder::TStage {
 public:
  explicit TZlibStage(bool gzip) : gzip_(gzip) {}
  ~TZlibStage() override {
    if (started_) {
      inflateEnd(&stream_);
    }
  }
  bool Decode(std::string_view in, const TDecodedOut& out, std::string& error) override;
  [[nodiscard]] bool Ended() const override { return ended_ || (!started_ && lead_.empty()); }

 private:
  bool Start(std::string_view lead, std::string& error);
  bool Inflate(std::string_view in, const TDecodedOut& out, std::string& error);
  [[nodiscard]] std::string Name() const { return gzip_ ? "gzip" : "deflate"; }

  bool gzip_;
  bool started_ = false;
  bool ended_ = false;
  bool trailing_ = false;  // bytes other than a member followed the end
  std::string lead_;       // deflate: the first byte, until the second tells the format
  z_stream stream_{};
};

bool TZlibStage::Start(std::string_view lead, std::string& error) {
  int bits = 16 + MAX_WBITS;
  if (!gzip_) {
    const auto cmf = static_cast<unsigned char>(lead[0]);
    const auto flg = static_cast<unsigned char>(lead[1]);
    // RFC 1950 section 2.2: method 8 with a window of at most 32 KiB, and
    // the two bytes a multiple of 31.
    const bool wrapped = (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
    bits = wrapped ? MAX_WBITS : -MAX_WBITS;
  }
  if (inflateInit2(&stream_, bits) != Z_OK) {
    error = Name() + ": no memory for the decoder";
    return false;
  }
  started_ = true;
  return true;
}

bool TZlibStage::Decode(std::string_view in, const TDecodedOut& out, std::string& error) {
  if (!started_) {
    if (!gzip_ && lead_.size() + in.size() < 2) {
      lead_.append(in);
      return true;
    }
    std::string lead = lead_ + std::string(in.substr(0, 2));
    if (!Start(lead, error)) {
      return false;
    }
    if (!lead_.empty()) {
      const std::string first = std::move(lead_);
      if (!Inflate(first, out, error)) {
        return false;
      }
    }
  }
  return Inflate(in, out, error);
}

bool TZlibStage::Inflate(std::string_view in, const TDecodedOut& out, std::string& error) {
  while (!in.empty() && !trailing_) {
    if (ended_) {
      // RFC 1952 section 2.2: a gzip file may hold several members one after
      // the other; anything else after the end is not part of the body, in
      // this piece or a later one.
      if (!gzip_ || in[0] != '\x1f') {
        trailing_ = true;
        return true;
      }
      inflateReset(&stream_);
      ended_ = false;
    }
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    stream_.avail_in = static_cast<uInt>(in.size());
    int result = Z_OK;
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(piece_.data());
      stream_.avail_out = static_cast<uInt>(piece_.size());
      result = inflate(&stream_, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
        error = Name() + ": " + (stream_.msg != nullptr ? stream_.msg : "corrupt data");
        return false;
      }
      const size_t made = piece_.size() - stream_.avail_out;
      if (made > 0 && !out(std::string_view(piece_.data(), made))) {
        return false;
      }
    } while (result == Z_OK && stream_.avail_out == 0);
    in.remove_prefix(in.size() - stream_.avail_in);
    ended_ = result == Z_STREAM_END;
  }
  return true;
}

class TBrotliStage final : public TContentDecoder::TStage {
 public:
  TBrotliStage() : state_(BrotliDecoderCreateInstance(nullptr, nullptr, nullptr)) {}
  ~TBrotliStage() override { BrotliDecoderDestroyInstance(state_); }
  TBrotliStage(const TBrotliStage&) = delete;
  TBrotliStage& operator=(const TBrotliStage&) = delete;

  bool Decode(std::string_view in, const TDecodedOut& out, std::string& error) override {
    if (state_ == nullptr) {
      error = "br: no memory for the decoder";
      return false;
    }
    size_t available = in.size();
    const auto* next = reinterpret_cast<const uint8_t*>(in.data());
    seen_ = seen_ || !in.empty();
    while (!ended_) {
      size_t room = piece_.size();
      auto* to = reinterpret_cast<uint8_t*>(piece_.data());
      const BrotliDecoderResult result =
          BrotliDecoderDecompressStream(state_, &available, &next, &room, &to, nullptr);
      if (result == BROTLI_DECODER_RESULT_ERROR) {
        error = std::string("br: ") + BrotliDecoderErrorString(BrotliDecoderGetErrorCode(state_));
        return false;
      }
      const size_t made = piece_.size() - room;
      if (made > 0 && !out(std::string_view(piece_.data(), made))) {
        return false;
      }
      ended_ = result == BROTLI_DECODER_RESULT_SUCCESS;
      if (result == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) {
        break;
      }
    }
    return true;
  }
  [[nodiscard]] bool Ended() const override { return ended_ || !seen_; }

 private:
  BrotliDecoderState* state_;
  bool ended_ = false;
  bool seen_ = false;
};

// zstd (RFC 8878); a body may hold several frames one after the other.
class TZstdStage final : public TContentDecoder::TStage {
 public:
  TZstdStage() : context_(ZSTD_createDCtx()) {
    if (context_ != nullptr) {
      ZSTD_DCtx_setParameter(context_, ZSTD_d_windowLogMax, kMaxZstdWindowLog);
    }
  }
  ~TZstdStage() override { ZSTD_freeDCtx(context_); }
  TZstdStage(const TZstdStage&) = delete;
  TZstdStage& operator=(const TZstdStage&) = delete;

  bool Decode(std::string_view in, const TDecodedOut& out, std::string& error) override {
    if (context_ == nullptr) {
      error = "zstd: no memory for the decoder";
      return false;
    }
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    for (;;) {
      ZSTD_outBuffer output{piece_.data(), piece_.size(), 0};
      const size_t result = ZSTD_decompressStream(context_, &output, &input);
      if (ZSTD_isError(result) != 0) {
        error = std::string("zstd: ") + ZSTD_getErrorName(result);
        return false;
      }
      if (output.pos > 0 && !out(std::string_view(piece_.data(), output.pos))) {
        return false;
      }
      if (input.pos > 0) {
        ended_ = result == 0;
      }
      if (input.pos == input.size && output.pos < output.size) {
        return true;
      }
    }
  }
  [[nodiscard]] bool Ended() const override { return ended_; }

 private:
  ZSTD_DCtx* context_;
  bool ended_ = true;  // no frame begun: an empty body is a complete one
};

std::unique_ptr<TContentDecoder::TStage> StageFor(const std::string& coding) {
  // RFC 9110 section 8.4.1.3: x-gzip is gzip.
  if (coding == "gzip" || coding == "x-gzip") {
    return std::make_unique<TZlibStage>(true);
  }
  if (coding == "deflate") {
    return std::make_unique<TZlibStage>(false);
  }
  if (coding == "br") {
    return std::make_unique<TBrotliStage>();
  }
  if (coding == "zstd") {
    return std::make_unique<TZstdStage>();
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> ContentCodingsOf(const std::vector<std::string>& headers) {
  std::vector<std::string> codings;
  for (const std::string& value : HeaderFieldValues(headers, "Content-Encoding")) {
    for (size_t from = 0; from <= value.size();) {
      const size_t comma = std::min(value.find(',', from), value.size());
      const std::string coding =
          AsciiLower(std::string(TrimControls(std::string_view(value).substr(from, comma - from))));
      if (!coding.empty() && coding != "identity") {
        codings.push_back(coding);
      }
      from = comma + 1;
    }
  }
  return codings;
}

std::string TooManyCodingsText(std::size_t count) {
  return "too many content codings (" + std::to_string(count) + ")";
}

TContentDecoder::TContentDecoder(const std::vector<std::string>& codings) {
  if (codings.size() > kMaxContentCodings) {
    error_ = TooManyCodingsText(codings.size());
    return;
  }
  for (auto coding = codings.rbegin(); coding != codings.rend(); ++coding) {
    std::unique_ptr<TStage> stage = StageFor(*coding);
    if (!stage) {
      error_ = "unsupported content coding '" + *coding + "'";
      stages_.clear();
      return;
    }
    stages_.push_back(std::move(stage));
  }
}

TContentDecoder::~TContentDecoder() = default;

bool TContentDecoder::Feed(std::string_view coded, const TDecodedOut& out) {
  return error_.empty() && Run(0, coded, out);
}

bool TContentDecoder::Run(std::size_t stage, std::string_view coded, const TDecodedOut& out) {
  if (stage == stages_.size()) {
    return out(coded);
  }
  return stages_[stage]->Decode(
      coded, [&](std::string_view piece) { return Run(stage + 1, piece, out); }, error_);
}

bool TContentDecoder::Finish() {
  for (const std::unique_ptr<TStage>& stage : stages_) {
    if (error_.empty() && !stage->Ended()) {
      error_ = "the coded body was cut short";
    }
  }
  return error_.empty();
}

}  // namespace movrek
