#include "engine/pipeline/page_body_sink.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "engine/pipeline/background_scan.h"
#include "engine/pipeline/binary_signature.h"
#include "engine/pipeline/job_settings.h"
#include "engine/pipeline/pipeline_limits.h"
#include "engine/pipeline/temp_files.h"
#include "html/text_file.h"
#include "net/http/fetch.h"
#include "net/http/header_fields.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"

namespace movrek {

TPageBodySink::TPageBodySink(const std::string& pageFile, const TJobSettings& settings,
                             TBackgroundScan* scan)
    : TPageBodySink([pageFile] { return pageFile; }, settings, scan) {}

TPageBodySink::TPageBodySink(TPageFileReserver reserve, const TJobSettings& settings,
                             TBackgroundScan* scan)
    : scan_(scan),
      pages_only_(settings.PagesOnly),
      bound_(static_cast<std::int64_t>(kMaxBodyBytes)),
      reserve_(std::move(reserve)),
      holding_(settings.HoldSmallBodies) {
  if (settings.MaxBodyBytes > 0 && settings.MaxBodyBytes <= bound_) {
    bound_ = settings.MaxBodyBytes;
    bound_is_ceiling_ = false;
  }
  if (!holding_) {
    page_file_ = reserve_();
    fd_ = ::open(page_file_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
      throw EPageFileError("Cannot open the page file " + page_file_ + ": " + std::strerror(errno));
    }
  }
}

TPageBodySink::~TPageBodySink() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

std::string TPageBodySink::Close() {
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && write_error_ == 0 && errno != EINTR) {
      write_error_ = errno;
    }
    fd_ = -1;
  }
  return write_error_ == 0
             ? std::string()
             : "cannot write the page file: " + std::string(std::strerror(write_error_));
}

void TPageBodySink::RethrowReserveFailure() const {
  if (reserve_failure_) {
    std::rethrow_exception(reserve_failure_);
  }
}

std::string TPageBodySink::SavedFile() {
  if (holding_) {
    page_file_ = reserve_();
    SavePage(page_file_, held_);
    holding_ = false;
    std::string().swap(held_);
  }
  return page_file_;
}

bool TPageBodySink::BeginBody(const THttpTransaction& http) {
  if (!Restart()) {
    return false;
  }
  // A redirect that is followed has no page; a redirect that is not (no
  // Location, too many hops) is listed by nobody either.
  if (IsFollowedRedirect(http.ResultCode)) {
    dropping_ = true;
    return true;
  }
  media_type_ = MediaTypeOf(http.Headers);
  if (pages_only_ && !media_type_.empty() && !IsPageType(media_type_)) {
    skipped_type_ = media_type_;
    return false;
  }
  sniffing_ = pages_only_ && media_type_.empty();
  const std::vector<std::string> codings = ContentCodingsOf(http.Headers);
  if (codings.size() > kMaxContentCodings) {
    refusal_ = TooManyCodingsText(codings.size());
    return false;
  }
  if (!codings.empty()) {
    decoder_ = std::make_unique<TContentDecoder>(codings);
    if (!decoder_->Error().empty()) {
      decode_error_ = decoder_->Error();
      return false;
    }
  }
  // An announced length past the ceiling is refused before any of it
  // arrives; one past the settings' bound is read up to it.
  if (bound_is_ceiling_ && http.ContentLength > bound_) {
    too_large_ = true;
    return false;
  }
  if (scan_ != nullptr) {
    scan_->Restart(ContentTypeOf(http.Headers), address_);
  }
  return true;
}

bool TPageBodySink::Restart() {
  dropping_ = false;
  sniffing_ = false;
  sniffed_.clear();
  decoder_.reset();
  media_type_.clear();
  skipped_type_.clear();
  decode_error_.clear();
  refusal_.clear();
  cut_ = false;
  too_large_ = false;
  received_ = 0;
  held_.clear();
  if (written_ > 0 && fd_ >= 0 && (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)) {
    return Fail(errno);
  }
  written_ = 0;
  return true;
}

bool TPageBodySink::TakeBody(std::string_view piece) {
  received_ += static_cast<std::int64_t>(piece.size());
  if (dropping_) {
    return received_ <= kMaxDroppedBodyBytes;
  }
  if (!decoder_) {
    return Accept(piece);
  }
  if (!decoder_->Feed(piece, [this](std::string_view decoded) { return Accept(decoded); })) {
    decode_error_ = decoder_->Error();
    return false;
  }
  // Coded bytes count too: a coded stream that yields nothing (padding,
  // metadata) must not run on without end.
  if (received_ > bound_) {
    (bound_is_ceiling_ ? too_large_ : cut_) = true;
    return false;
  }
  return true;
}

void TPageBodySink::EndBody() {
  if (dropping_) {
    return;
  }
  if (decoder_ && !decoder_->Finish()) {
    decode_error_ = decoder_->Error();
    return;
  }
  if (sniffing_) {
    Decide();
  }
}

bool TPageBodySink::Accept(std::string_view decoded) {
  if (!sniffing_) {
    return Store(decoded);
  }
  const std::size_t take = std::min<std::size_t>(decoded.size(), kSniffBytes - sniffed_.size());
  sniffed_.append(decoded.substr(0, take));
  if (sniffed_.size() < kSniffBytes) {
    return true;
  }
  return Decide() && Store(decoded.substr(take));
}

bool TPageBodySink::Decide() {
  sniffing_ = false;
  skipped_type_ = BinaryTypeOf(sniffed_);
  if (!skipped_type_.empty()) {
    return false;
  }
  const std::string held = std::move(sniffed_);
  sniffed_.clear();
  return Store(held);
}

bool TPageBodySink::Store(std::string_view decoded) {
  const std::int64_t room = bound_ - written_;
  const bool beyond = static_cast<std::int64_t>(decoded.size()) > room;
  if (beyond) {
    decoded = decoded.substr(0, static_cast<std::size_t>(room));
  }
  if (!decoded.empty()) {
    if (!Write(decoded)) {
      return false;
    }
    written_ += static_cast<std::int64_t>(decoded.size());
    if (scan_ != nullptr) {
      scan_->Feed(decoded);
    }
  }
  if (beyond) {
    (bound_is_ceiling_ ? too_large_ : cut_) = true;
    return false;
  }
  return true;
}

bool TPageBodySink::Write(std::string_view decoded) {
  if (holding_ && held_.size() + decoded.size() <= static_cast<std::size_t>(kMaxHeldBodyBytes)) {
    held_.append(decoded);
    return true;
  }
  if (holding_ && !OpenPageFile()) {
    return false;
  }
  if (const int failure = WriteAll(fd_, decoded); failure != 0) {
    return Fail(failure);
  }
  return true;
}

// The held body moves to a page file, which takes the rest as it comes.
bool TPageBodySink::OpenPageFile() {
  try {
    page_file_ = reserve_();
  } catch (...) {
    // Not through the HTTP layer: the fetch ends here and the pipeline
    // rethrows it once the transaction is gone.
    reserve_failure_ = std::current_exception();
    return false;
  }
  holding_ = false;
  fd_ = ::open(page_file_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) {
    return Fail(errno);
  }
  const int failure = WriteAll(fd_, held_);
  std::string().swap(held_);
  return failure == 0 || Fail(failure);
}

bool TPageBodySink::Fail(int errorNumber) {
  write_error_ = errorNumber;
  return false;
}

}  // namespace movrek
