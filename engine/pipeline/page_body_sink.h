// The body of the page being fetched, written to its page file as it
// arrives: content codings undone, the size bound kept, bodies that are no
// page refused, and only the last response's body kept.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "net/http/content_decoder.h"
#include "net/http/http_body_sink.h"

namespace movrek {

struct TJobSettings;
class TBackgroundScan;

class TPageBodySink final : public THttpBodySink {
 public:
  // Opens the reserved page file; throws EPageFileError when it cannot.
  // scan, when given, is fed what the file receives, body by body.
  TPageBodySink(const std::string& pageFile, const TJobSettings& settings,
                TBackgroundScan* scan = nullptr);
  ~TPageBodySink() override;
  TPageBodySink(const TPageBodySink&) = delete;
  TPageBodySink& operator=(const TPageBodySink&) = delete;

  // The address the next response answers; a page's links are resolved
  // against it as they are found.
  void SetAddress(std::string address) { address_ = std::move(address); }

  bool BeginBody(const THttpTransaction& http) override;
  bool TakeBody(std::string_view piece) override;
  void EndBody() override;

  // Closes the page file; why the body could not be written to it, or
  // nothing when all of it was.
  [[nodiscard]] std::string Close();

  // Of the last response's body:
  // decoded bytes in the page file;
  [[nodiscard]] std::int64_t Bytes() const { return written_; }
  // the media type of its Content-Type line (empty: none);
  [[nodiscard]] const std::string& MediaType() const { return media_type_; }
  // not a page: its type (or the type its first bytes show); empty: a page;
  [[nodiscard]] const std::string& SkippedType() const { return skipped_type_; }
  // it ran past the settings' bound and was cut there;
  [[nodiscard]] bool Cut() const { return cut_; }
  // it ran past the HTTP layer's ceiling;
  [[nodiscard]] bool TooLarge() const { return too_large_; }
  // why it could not be decoded; empty when it could.
  [[nodiscard]] const std::string& DecodeError() const { return decode_error_; }
  // why its head was refused before any byte of it was read ("too many
  // content codings (N)"); empty when it was not.
  [[nodiscard]] const std::string& Refusal() const { return refusal_; }

 private:
  bool Restart();
  bool Accept(std::string_view decoded);
  bool Decide();
  bool Store(std::string_view decoded);
  bool Fail(int errorNumber);

  std::string page_file_;
  TBackgroundScan* scan_;
  std::string address_;
  int fd_ = -1;
  int write_error_ = 0;
  bool pages_only_;
  std::int64_t bound_;            // decoded and coded bytes kept at most
  bool bound_is_ceiling_ = true;  // bound_ is the HTTP layer's, not the settings'
  bool dropping_ = false;         // a redirect's body: read, not kept
  bool sniffing_ = false;         // no type: the first bytes are held until they decide
  std::string sniffed_;
  std::unique_ptr<TContentDecoder> decoder_;
  std::int64_t received_ = 0;
  std::int64_t written_ = 0;
  std::string media_type_;
  std::string skipped_type_;
  bool cut_ = false;
  bool too_large_ = false;
  std::string decode_error_;
  std::string refusal_;
};

}  // namespace movrek
