// THtmlTokenizer's tokens written as one line of text, the same however the
// page was cut into pieces: for the table of tokenizer cases and the fuzz
// check that compares the whole page with the page in pieces (and the sink
// beneath, which joins the pieces of text and comments).
//   <a href="x"/>   a start tag: attributes as written, "/" when self-closing,
//                   the name prefixed "svg:" or "math:" in foreign content and
//                   "t:" inside <template> content
//   </a>            an end tag      <!--text-->   a comment
//   «text»          text between tags; R«» RCDATA, W«» raw text (RAWTEXT,
//                   script data, PLAINTEXT), C«» a CDATA section
//   <!DOCTYPE n>    a DOCTYPE       !             a tag dropped (warning)
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "html/html_tokenizer.h"

namespace movrek::test {

// A sink that gets each text run and each comment whole, however the page
// was cut: a run ends at the next token of another kind, or at FlushText,
// which the other tokens' handlers call first.
class TWholeTokenSink : public THtmlTokenSink {
 public:
  void OnText(std::string_view text, TTextKind kind) final;
  void OnComment(std::string_view piece, bool complete) final;

 protected:
  void FlushText();
  virtual void OnWholeText(std::string_view text, TTextKind kind) = 0;
  virtual void OnWholeComment(std::string_view text) = 0;

 private:
  std::string text_;
  std::optional<TTextKind> kind_;
  std::string comment_;
};

struct TTokenizerSetup {
  TTokenizerStart Start = TTokenizerStart::Data;
  std::string_view LastStartTag;
  std::size_t MaxTagBytes = kMaxTagBytes;
};

// The tokens of the pieces fed one after the other, then Finish.
std::string RecordTokens(std::span<const std::string_view> pieces, const TTokenizerSetup& setup);

// The same of the whole page in one piece.
std::string RecordTokens(std::string_view page, const TTokenizerSetup& setup);

}  // namespace movrek::test
