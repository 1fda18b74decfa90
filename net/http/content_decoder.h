// Content codings of a response body (RFC 9110 section 8.4.1) undone piece
// by piece as the body arrives: gzip, deflate (zlib-wrapped or raw), br and
// zstd.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace movrek {

// What a client that decodes with TContentDecoder can offer in
// Accept-Encoding.
inline constexpr char kAcceptedContentCodings[] = "gzip, deflate, br, zstd";

// Takes one decoded piece; false: no more is wanted.
using TDecodedOut = std::function<bool(std::string_view piece)>;

// The content codings a response head names, in the order they were applied
// (every Content-Encoding line, lower case, "identity" left out).
std::vector<std::string> ContentCodingsOf(const std::vector<std::string>& headers);

// "too many content codings (N)": why a body naming N codings, more than
// kMaxContentCodings, is refused.
std::string TooManyCodingsText(std::size_t count);

class TContentDecoder {
 public:
  // `codings` in the order they were applied, as ContentCodingsOf gives them;
  // more than kMaxContentCodings are refused (TooManyCodingsText) before any
  // decoder is made.
  explicit TContentDecoder(const std::vector<std::string>& codings);
  ~TContentDecoder();
  TContentDecoder(const TContentDecoder&) = delete;
  TContentDecoder& operator=(const TContentDecoder&) = delete;

  // Why the body cannot be decoded (an unknown coding, corrupt or cut-short
  // data); empty while it can.
  [[nodiscard]] const std::string& Error() const { return error_; }

  // Decodes the next coded bytes into `out`. False when `out` declined more
  // or the data is corrupt (then Error() says why).
  bool Feed(std::string_view coded, const TDecodedOut& out);
  // The coded body ended: false (with Error()) when a coded stream in it did
  // not end.
  bool Finish();

  class TStage;

 private:
  bool Run(std::size_t stage, std::string_view coded, const TDecodedOut& out);

  // Undone in this order: the coding applied last comes first.
  std::vector<std::unique_ptr<TStage>> stages_;
  std::string error_;
};

}  // namespace movrek
