#include "fuzz/net/http_parse_events.h"

#include <cstdlib>
#include <optional>

#include "net/http/http_body_decoder.h"
#include "net/http/http_head_parser.h"

namespace movrek::fuzz {
namespace {

std::string FailureName(THttpBodyFailure failure) {
  switch (failure) {
    case THttpBodyFailure::None:
      return "none";
    case THttpBodyFailure::CutShort:
      return "cut short";
    case THttpBodyFailure::LineTooLong:
      return "line too long";
    case THttpBodyFailure::BadChunkSize:
      return "bad chunk size";
    case THttpBodyFailure::ChunkTooLarge:
      return "chunk too large";
  }
  return "?";
}

class TEventLog {
 public:
  explicit TEventLog(const TParseOptions& options) : options_(options), head_(options.maxLine) {
    head_.Begin(options.expect ? THttpHeadMode::ExpectAnswer : THttpHeadMode::Response);
  }

  void Feed(std::string_view piece) {
    // The partner of a lone line end that ended the message is still its own.
    if (partner_ != 0 && !piece.empty()) {
      piece.remove_prefix(piece.front() == partner_ ? 1 : 0);
      partner_ = 0;
    }
    while (!body_ && !stopped_ && !piece.empty()) {
      piece.remove_prefix(FeedHead(piece));
    }
    FeedBodyWhole(piece);
  }

  std::string Close() {
    if (body_ && !stopped_) {
      body_->Close();
      NoteBodyState();
    } else if (!body_ && !stopped_) {
      Note("head cut short");
    }
    // After a failure the rest is never read, and how much of it the
    // failing line took depends on where the input was cut.
    if (!failed_) {
      Note("left " + std::to_string(left_));
    }
    return log_;
  }

 private:
  std::size_t FeedHead(std::string_view piece) {
    const std::size_t taken = head_.Feed(piece);
    if (head_.Failure() != THttpHeadFailure::None) {
      Note("failed head " + head_.FailureText());
      stopped_ = true;
      failed_ = true;
    } else if (head_.Done()) {
      StartBody();
    }
    return taken;
  }

  void StartBody() {
    const THttpResponseHead& head = head_.Head();
    std::string text = "head " + std::to_string(head.StatusCode) + " " + head.Reason;
    for (const std::string& line : head.StatusLines) text += "\n  " + line;
    for (const std::string& line : head.FieldLines) text += "\n  " + line;
    Note(text);
    const bool interim = head.StatusCode >= 100 && head.StatusCode < 200;
    if (options_.expect && interim && !expectDone_) {
      expectDone_ = true;
      head_.Begin(THttpHeadMode::Response);
      return;
    }
    const THttpBodyPlan plan = BodyPlanOf(head.FieldLines);
    const bool none = options_.head || head.StatusCode == 204 || head.StatusCode == 304;
    body_.emplace(none ? THttpBodyFraming::Counted : plan.Framing, none ? 0 : plan.Length,
                  options_.maxLine);
    body_->AwaitPartner(head_.TakePendingPartner());
    body_text_ = head.BodyStart;
    NoteBodyState();
    const std::string overflow = head_.TakeOverflow();
    FeedBodyWhole(overflow);
  }

  void FeedBodyWhole(std::string_view bytes) {
    while (body_ && !bytes.empty() && !stopped_) {
      const std::size_t taken = FeedBody(bytes);
      if (taken == 0) {
        break;
      }
      bytes.remove_prefix(taken);
    }
    left_ += bytes.size();
  }

  std::size_t FeedBody(std::string_view piece) {
    const THttpBodyDecoder::TStep step = body_->Feed(piece);
    body_text_ += step.Body;
    NoteBodyState();
    return step.Consumed;
  }

  void NoteBodyState() {
    if (body_->BodyComplete() && !ended_) {
      ended_ = true;
      Note("end");
    }
    if (body_->MessageComplete()) {
      Note("message");
      stopped_ = true;
      partner_ = body_->TakePendingPartner();
    } else if (body_->TrailerAbandoned()) {
      Note("abandoned");
      stopped_ = true;
    } else if (body_->Failure() != THttpBodyFailure::None) {
      Note("failed body " + FailureName(body_->Failure()));
      stopped_ = true;
      failed_ = true;
    }
  }

  void Note(const std::string& event) {
    if (!body_text_.empty()) {
      log_ += "body " + body_text_ + "\n";
      body_text_.clear();
    }
    log_ += event + "\n";
  }

  const TParseOptions options_;
  THttpHeadParser head_;
  std::optional<THttpBodyDecoder> body_;
  std::string log_;
  std::string body_text_;
  std::size_t left_ = 0;
  bool expectDone_ = false;
  bool ended_ = false;
  bool stopped_ = false;
  bool failed_ = false;
  char partner_ = 0;  // see THttpLineSplitter
};

}  // namespace

std::string ParseEvents(std::string_view response, const std::vector<std::size_t>& cuts,
                        const TParseOptions& options) {
  TEventLog log(options);
  std::size_t from = 0;
  for (const std::size_t cut : cuts) {
    if (cut > from && cut < response.size()) {
      log.Feed(response.substr(from, cut - from));
      from = cut;
    }
  }
  log.Feed(response.substr(from));
  return log.Close();
}

void CheckParseEvents(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const std::uint8_t choice = data[0];
  const std::string_view response(reinterpret_cast<const char*>(data) + 1, size - 1);
  TParseOptions options;
  options.head = (choice & 1) != 0;
  options.expect = (choice & 2) != 0;
  options.maxLine = (choice & 4) != 0 ? 24 : 65536;
  const std::size_t piece = (choice >> 4) + 1;

  const std::string whole = ParseEvents(response, {}, options);
  const auto check = [](bool condition) {
    if (!condition) std::abort();
  };
  std::vector<std::size_t> cuts;
  for (std::size_t at = piece; at < response.size(); at += piece) cuts.push_back(at);
  check(ParseEvents(response, cuts, options) == whole);
  // Each byte of the answer shows in the log once at most (a head line with
  // its indent, a body byte), beside the words of the events.
  check(whole.size() <= 4 * response.size() + 256);
}

std::vector<std::size_t> EveryOffset(std::size_t size) {
  std::vector<std::size_t> cuts;
  for (std::size_t at = 1; at < size; ++at) cuts.push_back(at);
  return cuts;
}

}  // namespace movrek::fuzz
