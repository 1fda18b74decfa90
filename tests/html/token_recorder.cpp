#include "tests/html/token_recorder.h"

namespace movrek::test {

void TWholeTokenSink::OnText(std::string_view text, TTextKind kind) {
  if (kind_ != kind) {
    FlushText();
    kind_ = kind;
  }
  text_ += text;
}

void TWholeTokenSink::OnComment(std::string_view piece, bool complete) {
  FlushText();
  comment_ += piece;
  if (complete) {
    OnWholeComment(comment_);
    comment_.clear();
  }
}

void TWholeTokenSink::FlushText() {
  if (kind_) {
    const TTextKind kind = *kind_;
    kind_.reset();
    OnWholeText(text_, kind);
    text_.clear();
  }
}

namespace {

class TTokenRecorder final : public TWholeTokenSink {
 public:
  std::string Take() {
    FlushText();
    return std::move(line_);
  }

  void OnStartTag(const THtmlStartTag& tag) override {
    FlushText();
    line_ += '<';
    line_ += tag.Namespace == THtmlNamespace::Svg      ? "svg:"
             : tag.Namespace == THtmlNamespace::MathMl ? "math:"
                                                       : "";
    line_ += tag.InTemplate ? "t:" : "";
    line_ += tag.Name;
    for (const THtmlAttribute& attribute : tag.Attributes) {
      line_ += ' ';
      line_ += attribute.Name;
      line_ += "=\"";
      line_ += attribute.Value;
      line_ += '"';
    }
    line_ += tag.SelfClosing ? "/>" : ">";
  }
  void OnEndTag(std::string_view name) override {
    FlushText();
    line_ += "</";
    line_ += name;
    line_ += '>';
  }
  void OnDoctype(std::string_view name) override {
    FlushText();
    line_ += "<!DOCTYPE ";
    line_ += name;
    line_ += '>';
  }
  void OnWarning(std::string_view /*what*/) override {
    FlushText();
    line_ += '!';
  }

 private:
  void OnWholeText(std::string_view text, TTextKind kind) override {
    static constexpr std::string_view kPrefixes[] = {"", "R", "W", "C"};
    line_ += kPrefixes[static_cast<int>(kind)];
    line_ += "\xC2\xAB";
    line_ += text;
    line_ += "\xC2\xBB";
  }
  void OnWholeComment(std::string_view text) override {
    line_ += "<!--";
    line_ += text;
    line_ += "-->";
  }

  std::string line_;
};

}  // namespace

std::string RecordTokens(std::span<const std::string_view> pieces, const TTokenizerSetup& setup) {
  TTokenRecorder recorder;
  THtmlTokenizer tokenizer(
      recorder, {.ReportText = true, .ReportComments = true, .MaxTagBytes = setup.MaxTagBytes});
  tokenizer.StartIn(setup.Start, setup.LastStartTag);
  for (const std::string_view piece : pieces) {
    tokenizer.Feed(piece);
  }
  tokenizer.Finish();
  return recorder.Take();
}

std::string RecordTokens(std::string_view page, const TTokenizerSetup& setup) {
  return RecordTokens(std::span<const std::string_view>(&page, 1), setup);
}

}  // namespace movrek::test
