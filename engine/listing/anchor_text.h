// The text a reader sees for each anchor, gathered in the same tokenizer pass
// that finds the anchors. The model: the text runs between an <a> start tag
// and the </a> (or the next <a> start tag, or the end of the page) that ends
// it, white space collapsed and trimmed, cut at kMaxAnchorTextChars; when
// that leaves nothing, the alt of the first <img> inside whose alt is not
// blank. The anchor's rel comes as written.
#pragma once

#include <string>
#include <string_view>

#include "html/html_tokenizer.h"

namespace movrek {

// An anchor's text, alt and rel in the page's own bytes, references not yet
// decoded; each bounded by kMaxWrittenAnchorBytes.
struct TWrittenAnchor {
  std::string Text;  // white space already collapsed
  std::string Alt;
  std::string Rel;
};

// Hands the anchors and the first base of a page to its subclass; with text
// asked for, the text of each anchor too, once it has ended. The tokenizer
// must report text then.
class TAnchorTokenSink : public THtmlTokenSink {
 public:
  explicit TAnchorTokenSink(bool withText) : with_text_(withText) {}

  void OnStartTag(const THtmlStartTag& tag) final;
  void OnEndTag(std::string_view name) final;
  void OnText(std::string_view text, TTextKind kind) final;
  // The page has ended: the anchor still open ends too. Call after the
  // tokenizer's Finish.
  void FinishAnchors();

  [[nodiscard]] bool WithText() const { return with_text_; }

 protected:
  // An anchor with an href, as written.
  virtual void OnAnchor(std::string_view href) = 0;
  // The text of the anchor last handed to OnAnchor (with text asked for),
  // the subclass's to take.
  virtual void OnAnchorText(TWrittenAnchor& /*anchor*/) {}
  // A base with an href, as written (each one: the subclass keeps the first).
  virtual void OnBase(std::string_view /*href*/) {}

 private:
  void EndAnchor();

  const bool with_text_;
  bool open_ = false;  // an anchor with an href is being read
  TWrittenAnchor anchor_;
};

// The tokenizer options for a sink that may want text.
THtmlTokenizerOptions AnchorTokenizerOptions(bool withText);

// The text shown for an anchor: text (already decoded to UTF-8, references
// too) collapsed and trimmed, cut at kMaxAnchorTextChars; alt (decoded) when
// the text is empty.
std::string ShownAnchorText(std::string_view text, std::string_view alt);

}  // namespace movrek
