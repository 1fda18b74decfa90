#include "html/tag_stream.h"

#include <string>
#include <utility>

#include "html/html_elements.h"
#include "html/scan_machine.h"
#include "html/text_file.h"

namespace movrek {

namespace {

// Only the tags leave the scan; text and SCRIPT content are not wanted.
class TTagOutput {
 public:
  static constexpr bool kKeepsText = false;

  explicit TTagOutput(const TTagStream::TTagHandler& onTag) : on_tag_(onTag) {}

  void Range(std::string_view text, TElementKind kind, std::size_t offset, std::size_t length,
             bool /*hookFirst*/, bool& /*continueScan*/) {
    if (kind == EK_Tag) {
      on_tag_(text.substr(offset, length));
    }
  }
  void ScriptEnd(std::string_view text, scan::TTextPiece /*content*/, scan::TTextPiece tag,
                 bool& /*continueScan*/) {
    on_tag_(text.substr(tag.offset, tag.length));
  }
  void Warn(std::size_t /*position*/, const char* /*what*/, bool& /*continueScan*/) {}

 private:
  const TTagStream::TTagHandler& on_tag_;
};

}  // namespace

class TTagStream::TImpl {
 public:
  explicit TImpl(TTagHandler onTag) : on_tag_(std::move(onTag)) {}

  void Feed(std::string_view bytes) {
    if (bytes.empty()) {
      return;
    }
    AppendWithCrLf(bytes);
    ended_line_ = bytes.back() == '\r' || bytes.back() == '\n';
    machine_.Resume(window_);
    ForgetScanned();
  }

  void Finish() {
    // As the whole text has it: a last line without an end gets one.
    if (fed_) {
      if (!ended_line_) {
        window_ += "\r\n";
      }
      machine_.Resume(window_);
    }
  }

 private:
  // Line ends become CR LF as they arrive; a CR ends its line at once and
  // the LF of a CR LF pair, perhaps in the next piece, is then passed over.
  void AppendWithCrLf(std::string_view bytes) {
    fed_ = true;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
      if (after_cr_ && *p == '\n') {
        ++p;
        after_cr_ = false;
        continue;
      }
      const char* const hit = FindFirstOf2(p, end, '\r', '\n');
      window_.append(p, hit);
      if (hit == end) {
        after_cr_ = false;
        return;
      }
      window_ += "\r\n";
      after_cr_ = *hit == '\r';
      p = hit + 1;
    }
  }

  // The text before what the scan may still read goes once it is at least
  // as long as the rest, so that a long tag is not moved again and again.
  void ForgetScanned() {
    const std::size_t keep = machine_.KeepFrom();
    if (keep == 0 || keep < window_.size() - keep) {
      return;
    }
    machine_.Forget(keep);
    window_.erase(0, keep);
  }

  TTagHandler on_tag_;
  TTagOutput output_{on_tag_};
  scan::TScanMachine<TTagOutput> machine_{output_};
  std::string window_;
  bool fed_ = false;
  bool after_cr_ = false;
  bool ended_line_ = true;
};

TTagStream::TTagStream(TTagHandler onTag) : impl_(std::make_unique<TImpl>(std::move(onTag))) {}

TTagStream::~TTagStream() = default;

void TTagStream::Feed(std::string_view bytes) {
  impl_->Feed(bytes);
}

void TTagStream::Finish() {
  impl_->Finish();
}

}  // namespace movrek
