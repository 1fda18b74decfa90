// The body of the page being fetched, written to its page file as it
// arrives (or, when the settings hold small bodies, kept in memory until it
// outgrows them): content codings undone, the size bound kept, bodies that
// are no page refused, and only the last response's body kept.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "net/http/content_decoder.h"
#include "net/http/http_body_sink.h"

namespace movrek {

struct TJobSettings;
class TBackgroundScan;

// Reserves the page file and answers its path; throws as
// TUrlInProgress::ReservePageFile does.
using TPageFileReserver = std::function<std::string()>;

class TPageBodySink final : public THttpBodySink {
 public:
  // Opens the reserved page file; throws EPageFileError when it cannot.
  // scan, when given, is fed what the file receives, body by body.
  TPageBodySink(const std::string& pageFile, const TJobSettings& settings,
                TBackgroundScan* scan = nullptr);
  // The same, with the page file reserved by `reserve` at once, or (small
  // bodies held) only when a body outgrows memory or SavedFile asks for it.
  TPageBodySink(TPageFileReserver reserve, const TJobSettings& settings,
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
  // The page file could not be reserved when a held body outgrew memory:
  // throws what the reservation threw, as a reservation up front would.
  void RethrowReserveFailure() const;
  // The path of a file holding the whole body, written now when the body
  // was held; throws EPageFileError when it cannot be.
  [[nodiscard]] std::string SavedFile();

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
  bool Write(std::string_view decoded);
  bool OpenPageFile();
  bool Fail(int errorNumber);

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
  TPageFileReserver reserve_;
  std::string page_file_;  // empty while the body is held
  // The body is in held_: no page file has been made yet.
  bool holding_ = false;
  std::string held_;
  std::exception_ptr reserve_failure_;
};

}  // namespace movrek
