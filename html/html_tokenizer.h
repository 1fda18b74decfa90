// A page's markup read as a browser's HTML tokenizer reads it, with the text
// modes its tree builder sets by the tag just opened (RCDATA, RAWTEXT, script
// data, PLAINTEXT), the foreign content of <svg> and <math> (where CDATA
// sections are text and no tag opens a text mode) and <template> content.
// The bytes may arrive in pieces cut anywhere; only the tag being read is
// held, and a tag longer than the bound is dropped (with a warning), so the
// memory is bounded whatever the page.
//
// The bytes are those of an encoding that keeps ASCII as ASCII (UTF-8, a
// windows code page, Shift_JIS...): the tokenizer reads only ASCII bytes and
// hands the others on as written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace movrek {

// The longest tag kept; a longer one is read to its end and dropped.
inline constexpr std::size_t kMaxTagBytes = std::size_t{1} << 20;

enum class THtmlNamespace : std::uint8_t { Html, Svg, MathMl };

// How a run of text is to be read.
enum class TTextKind : std::uint8_t {
  Data,     // text between tags: character references count
  RcData,   // the content of <title> and <textarea>: references count, no tags
  RawText,  // <style>, <xmp>, <iframe>, <noembed>, <noframes>, <noscript>,
            // <script> and <plaintext> content: as written
  CData,    // a CDATA section in foreign content: as written
};

// Where a tokenizer starts, as a fragment's context element sets it.
enum class TTokenizerStart : std::uint8_t { Data, RcData, RawText, ScriptData, PlainText, CData };

struct THtmlAttribute {
  std::string_view Name;   // ASCII letters in lower case
  std::string_view Value;  // as written, without its quotes; references not decoded
};

struct THtmlStartTag {
  std::string_view Name;                       // ASCII letters in lower case
  std::span<const THtmlAttribute> Attributes;  // in order; of a repeated name the first only
  bool SelfClosing = false;
  THtmlNamespace Namespace = THtmlNamespace::Html;  // of the element the tag makes
  bool InTemplate = false;  // inside <template> content, which is no part of the document

  // The attribute of that name (lower case), or nullptr.
  [[nodiscard]] const THtmlAttribute* Find(std::string_view name) const {
    for (const THtmlAttribute& attribute : Attributes) {
      if (attribute.Name == name) {
        return &attribute;
      }
    }
    return nullptr;
  }
};

// What the tokenizer hands out, in document order. Views are valid during
// the call only.
class THtmlTokenSink {
 public:
  THtmlTokenSink() = default;
  THtmlTokenSink(const THtmlTokenSink&) = delete;
  THtmlTokenSink& operator=(const THtmlTokenSink&) = delete;
  virtual ~THtmlTokenSink() = default;

  virtual void OnStartTag(const THtmlStartTag& tag) = 0;
  virtual void OnEndTag(std::string_view /*name*/) {}
  // Text, only when the tokenizer was asked for it: a run may come in
  // several pieces, cut anywhere (also inside a character).
  virtual void OnText(std::string_view /*text*/, TTextKind /*kind*/) {}
  // A comment's text, only when asked for: in pieces, complete on the last.
  virtual void OnComment(std::string_view /*piece*/, bool /*complete*/) {}
  virtual void OnDoctype(std::string_view /*name*/) {}
  // Something dropped: a tag past kMaxTagBytes.
  virtual void OnWarning(std::string_view /*what*/) {}
};

struct THtmlTokenizerOptions {
  bool ReportText = false;
  bool ReportComments = false;
  std::size_t MaxTagBytes = kMaxTagBytes;
};

class THtmlTokenizer {
 public:
  explicit THtmlTokenizer(THtmlTokenSink& sink, THtmlTokenizerOptions options = {});
  THtmlTokenizer(const THtmlTokenizer&) = delete;
  THtmlTokenizer& operator=(const THtmlTokenizer&) = delete;
  ~THtmlTokenizer();

  // Before the first Feed: start in a text mode whose end tag is lastStartTag
  // (lower case), as the content of that element.
  void StartIn(TTokenizerStart start, std::string_view lastStartTag);
  // The next bytes of the page.
  void Feed(std::string_view bytes);
  // The page has ended: what is open is ended as the end of input ends it.
  void Finish();

 private:
  class TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace movrek
