#include "html/html_tokenizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "html/markup_context.h"
#include "html/open_elements.h"
#include "html/text_file.h"
#include "text/ascii_text.h"
#include "text/byte_search.h"

namespace movrek {

namespace {

enum class TState : std::uint8_t {
  Data,
  RcData,
  RawText,
  ScriptData,
  PlainText,
  CData,
  CDataBracket,
  CDataEnd,
  TagOpen,
  EndTagOpen,
  TagName,
  TextLess,     // "<" in RCDATA or RAWTEXT
  ScriptLess,   // "<" in script data
  TextEndOpen,  // "</" in a text mode, which may be its end tag
  TextEndName,
  EscapeStart,
  EscapeStartDash,
  Escaped,
  EscapedDash,
  EscapedDashDash,
  EscapedLess,
  DoubleEscapeStart,
  DoubleEscaped,
  DoubleEscapedDash,
  DoubleEscapedDashDash,
  DoubleEscapedLess,
  DoubleEscapeEnd,
  BeforeAttributeName,
  AttributeName,
  AfterAttributeName,
  BeforeAttributeValue,
  AttributeValueDouble,
  AttributeValueSingle,
  AttributeValueUnquoted,
  AfterAttributeValueQuoted,
  SelfClosingStartTag,
  MarkupDeclarationOpen,
  BogusComment,
  CommentStart,
  CommentStartDash,
  Comment,
  CommentEndDash,
  CommentEnd,
  CommentEndBang,
  Doctype,
};

// White space of the tokenizer; CR too, which the input stream makes LF.
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\n' || c == '\t' || c == '\f' || c == '\r';
}

constexpr bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Up to this many attributes, repeated names are found by comparing each
// with those before it.
constexpr std::size_t kFewAttributes = 16;
// What is kept of a tag's name: longer names name no element the rules know.
constexpr std::size_t kMaxNameBytes = 256;
// A comment's text is handed out in pieces of about this size.
constexpr std::size_t kCommentPieceBytes = std::size_t{64} * 1024;
// What is kept of a DOCTYPE: enough for its name.
constexpr std::size_t kMaxDoctypeBytes = 256;

const char* Find(const char* p, const char* end, char c) {
  return FindByte(p, end, c);
}

void AppendLowered(std::string& out, const char* from, const char* to) {
  const std::size_t at = out.size();
  out.resize(at + static_cast<std::size_t>(to - from));
  char* write = out.data() + at;
  for (const char* k = from; k < to; ++k) {
    const char c = *k;
    *write++ = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
  }
}

struct TAttributePlace {
  std::uint32_t nameOffset;
  std::uint32_t nameLength;
  std::uint32_t valueOffset;
  std::uint32_t valueLength;
};

}  // namespace

class THtmlTokenizer::TImpl : private TOpenElements::TCopySink {
 public:
  TImpl(THtmlTokenSink& sink, THtmlTokenizerOptions options) : sink_(sink), options_(options) {}

  void StartIn(TTokenizerStart start, std::string_view lastStartTag) {
    last_start_tag_ = std::string(lastStartTag);
    switch (start) {
      case TTokenizerStart::Data:
        state_ = TState::Data;
        break;
      case TTokenizerStart::RcData:
        state_ = TState::RcData;
        break;
      case TTokenizerStart::RawText:
        state_ = TState::RawText;
        break;
      case TTokenizerStart::ScriptData:
        state_ = TState::ScriptData;
        break;
      case TTokenizerStart::PlainText:
        state_ = TState::PlainText;
        break;
      case TTokenizerStart::CData:
        state_ = TState::CData;
        break;
    }
  }

  void Feed(std::string_view bytes) { Run(bytes.data(), bytes.data() + bytes.size()); }

  void Finish();

 private:
  void Run(const char* p, const char* end);
  const char* Step(const char* p, const char* end);
  const char* StepText(const char* p, const char* end);
  const char* StepScript(const char* p, const char* end);
  const char* StepTag(const char* p, const char* end);
  const char* StepAttributeValue(const char* p, const char* end);
  const char* StepDeclaration(const char* p, const char* end);
  const char* StepComment(const char* p, const char* end);
  const char* StepCData(const char* p, const char* end);

  // An anchor the tree builder makes again is a start tag of its own.
  void OnAnchorCopy(std::span<const THtmlAttribute> attributes) override {
    THtmlStartTag tag;
    tag.Name = "a";
    tag.Attributes = attributes;
    tag.InTemplate = context_.InTemplate();
    sink_.OnStartTag(tag);
  }

  // Text handed on when asked for.
  void Text(std::string_view text, TTextKind kind) {
    if (options_.ReportText && !text.empty()) {
      sink_.OnText(text, kind);
    }
  }
  void Text(const char* from, const char* to, TTextKind kind) {
    Text(std::string_view(from, static_cast<std::size_t>(to - from)), kind);
  }
  [[nodiscard]] TTextKind KindOfTextState() const;

  // The tag being read.
  void BeginTag(bool endTag);
  void CountTagBytes(std::size_t count);
  const char* ReadAttributeName(const char* p, const char* end, bool first);
  // A tag's name is kept to its first kMaxNameBytes whether or not the tag
  // is dropped, so that what a dropped tag does never depends on where the
  // bytes were cut.
  void AppendTagName(char c) {
    if (tag_name_.size() < kMaxNameBytes) {
      tag_name_ += AsciiLowerChar(c);
    }
  }
  void BeginAttribute();
  void EndAttributeName();
  void AppendToTag(const char* from, const char* to);
  void EmitTag();
  void EmitStartTag();
  const char* ReadWholeTag(const char* less, const char* end);
  std::string_view Lowered(const char* from, const char* to, bool capitals);
  void AddAttribute(std::string_view name, std::string_view value, bool many);
  void StartTagRead(std::string_view name, std::uint64_t key, bool selfClosing, bool kept);
  void AppropriateEndTagOrText(char c);
  void EndTagNameNotAppropriate();

  // The comment being read.
  void BeginComment(std::string_view start) {
    comment_.assign(options_.ReportComments ? start : std::string_view());
  }
  void AppendComment(std::string_view text);
  void EmitComment();
  void ReplayAsBogusComment();

  THtmlTokenSink& sink_;
  const THtmlTokenizerOptions options_;
  TState state_ = TState::Data;
  TMarkupContext context_{*this};
  std::string last_start_tag_;

  // The tag being read: its name, its attributes' names and values one after
  // the other in tag_bytes_, placed by attributes_.
  bool end_tag_ = false;
  bool self_closing_ = false;
  bool dropping_ = false;   // longer than the bound: read to its end, not kept
  bool name_open_ = false;  // the last attribute's name is still being read
  std::size_t tag_size_ = 0;
  std::string tag_name_;
  std::string tag_bytes_;
  std::vector<TAttributePlace> attributes_;
  // The attributes of a tag read whole, where they lie in the text.
  struct TPlace {
    const char* nameFrom;
    const char* nameTo;
    const char* valueFrom;
    const char* valueTo;
    bool capitals;  // in the name
  };
  // The places of the tag at hand are the first place_count_; the vector
  // only grows. Emptied by the count alone: whether a vector has anything to
  // clear is a guess a branch gets wrong once a tag.
  std::vector<TPlace> places_;
  std::size_t place_count_ = 0;
  const char* text_end_ = nullptr;     // of the text a tag is read whole from
  std::vector<THtmlAttribute> views_;  // the first view_count_, as places_
  std::size_t view_count_ = 0;
  [[nodiscard]] std::span<const THtmlAttribute> Views() const {
    return std::span(views_).first(view_count_);
  }
  std::unordered_set<std::string_view> seen_names_;  // of a tag with many attributes

  // What may still be text or markup: "<", "</" and the letters of a
  // possible end tag in a text mode, or what follows "<!".
  std::string held_;
  TState text_state_ = TState::Data;  // the text mode a held end tag returns to
  std::string double_escape_;         // the letters after "<" in escaped script data
  std::string comment_;
  std::string doctype_;
};

void THtmlTokenizer::TImpl::Run(const char* p, const char* end) {
  while (p < end) {
    p = Step(p, end);
  }
}

const char* THtmlTokenizer::TImpl::Step(const char* p, const char* end) {
  switch (state_) {
    case TState::Data:
    case TState::RcData:
    case TState::RawText:
    case TState::PlainText:
    case TState::TagOpen:
    case TState::EndTagOpen:
    case TState::TextLess:
    case TState::TextEndOpen:
    case TState::TextEndName:
      return StepText(p, end);
    case TState::ScriptData:
    case TState::ScriptLess:
    case TState::EscapeStart:
    case TState::EscapeStartDash:
    case TState::Escaped:
    case TState::EscapedDash:
    case TState::EscapedDashDash:
    case TState::EscapedLess:
    case TState::DoubleEscapeStart:
    case TState::DoubleEscaped:
    case TState::DoubleEscapedDash:
    case TState::DoubleEscapedDashDash:
    case TState::DoubleEscapedLess:
    case TState::DoubleEscapeEnd:
      return StepScript(p, end);
    case TState::TagName:
    case TState::BeforeAttributeName:
    case TState::AttributeName:
    case TState::AfterAttributeName:
    case TState::BeforeAttributeValue:
    case TState::AfterAttributeValueQuoted:
    case TState::SelfClosingStartTag:
      return StepTag(p, end);
    case TState::AttributeValueDouble:
    case TState::AttributeValueSingle:
    case TState::AttributeValueUnquoted:
      return StepAttributeValue(p, end);
    case TState::MarkupDeclarationOpen:
    case TState::Doctype:
      return StepDeclaration(p, end);
    case TState::BogusComment:
    case TState::CommentStart:
    case TState::CommentStartDash:
    case TState::Comment:
    case TState::CommentEndDash:
    case TState::CommentEnd:
    case TState::CommentEndBang:
      return StepComment(p, end);
    case TState::CData:
    case TState::CDataBracket:
    case TState::CDataEnd:
      return StepCData(p, end);
  }
  return end;
}

TTextKind THtmlTokenizer::TImpl::KindOfTextState() const {
  switch (text_state_) {
    case TState::Data:
      return TTextKind::Data;
    case TState::RcData:
      return TTextKind::RcData;
    default:
      return TTextKind::RawText;
  }
}

// Text, and the "<" that may start markup in it.
const char* THtmlTokenizer::TImpl::StepText(const char* p, const char* end) {
  const char c = *p;
  switch (state_) {
    case TState::Data:
    case TState::RcData:
    case TState::RawText: {
      const char* const less = Find(p, end, '<');
      if (state_ == TState::Data && less != p && context_.TextMatters()) {
        context_.Text(std::all_of(p, less, IsSpace));
      }
      Text(p, less,
           state_ == TState::Data     ? TTextKind::Data
           : state_ == TState::RcData ? TTextKind::RcData
                                      : TTextKind::RawText);
      if (less == end) {
        return end;
      }
      if (state_ == TState::Data) {
        if (const char* after = ReadWholeTag(less, end); after != nullptr) {
          return after;
        }
      }
      text_state_ = state_;
      state_ = state_ == TState::Data ? TState::TagOpen : TState::TextLess;
      return less + 1;
    }
    case TState::PlainText:
      Text(p, end, TTextKind::RawText);
      return end;
    case TState::TagOpen:
      if (c == '!') {
        state_ = TState::MarkupDeclarationOpen;
        held_.clear();
        return p + 1;
      }
      if (c == '/') {
        state_ = TState::EndTagOpen;
        return p + 1;
      }
      if (IsAlpha(c)) {
        BeginTag(false);
        state_ = TState::TagName;
        return p;
      }
      if (c == '?') {
        BeginComment({});
        state_ = TState::BogusComment;
        return p;
      }
      Text("<", TTextKind::Data);
      context_.Text(false);
      if (c == '<') {
        // A run of "<" is text but for its last, which may open a tag.
        const char* last = p;
        while (last + 1 < end && last[1] == '<') {
          ++last;
        }
        Text(p, last, TTextKind::Data);
        return last + 1;
      }
      state_ = TState::Data;
      return p;
    case TState::EndTagOpen:
      if (IsAlpha(c)) {
        BeginTag(true);
        state_ = TState::TagName;
        return p;
      }
      if (c == '>') {
        state_ = TState::Data;
        return p + 1;
      }
      BeginComment({});
      state_ = TState::BogusComment;
      return p;
    case TState::TextLess:
      if (c == '/') {
        held_ = "</";
        state_ = TState::TextEndOpen;
        return p + 1;
      }
      Text("<", KindOfTextState());
      state_ = text_state_;
      return p;
    case TState::TextEndOpen:
      if (IsAlpha(c)) {
        BeginTag(true);
        state_ = TState::TextEndName;
        return p;
      }
      Text(held_, KindOfTextState());
      state_ = text_state_;
      return p;
    default:  // TState::TextEndName
      if (IsAlpha(c)) {
        held_ += c;
        AppendTagName(c);
        // Longer than the element's name: it can only be text.
        if (tag_name_.size() > last_start_tag_.size()) {
          EndTagNameNotAppropriate();
        }
        return p + 1;
      }
      AppropriateEndTagOrText(c);
      return p;
  }
}

// After the letters of a possible end tag in a text mode: an end tag only
// when it names the element the text mode belongs to.
void THtmlTokenizer::TImpl::AppropriateEndTagOrText(char c) {
  const bool delimiter = IsSpace(c) || c == '/' || c == '>';
  if (delimiter && tag_name_ == last_start_tag_) {
    held_.clear();
    tag_size_ = tag_name_.size() + 2;
    state_ = TState::TagName;  // which reads the delimiter as a tag name would
    return;
  }
  EndTagNameNotAppropriate();
}

void THtmlTokenizer::TImpl::EndTagNameNotAppropriate() {
  Text(held_, KindOfTextState());
  held_.clear();
  state_ = text_state_;
}

// Script data and its escaped states: only the end tag of the script ends it.
const char* THtmlTokenizer::TImpl::StepScript(const char* p, const char* end) {
  const char c = *p;
  switch (state_) {
    case TState::ScriptData: {
      const char* const less = Find(p, end, '<');
      Text(p, less, TTextKind::RawText);
      if (less == end) {
        return end;
      }
      text_state_ = TState::ScriptData;
      state_ = TState::ScriptLess;
      return less + 1;
    }
    case TState::ScriptLess:
      if (c == '/') {
        held_ = "</";
        state_ = TState::TextEndOpen;
        return p + 1;
      }
      Text("<", TTextKind::RawText);
      state_ = c == '!' ? TState::EscapeStart : TState::ScriptData;
      if (c == '!') {
        Text("!", TTextKind::RawText);
        return p + 1;
      }
      return p;
    case TState::EscapeStart:
    case TState::EscapeStartDash:
      if (c != '-') {
        state_ = TState::ScriptData;
        return p;
      }
      Text("-", TTextKind::RawText);
      state_ = state_ == TState::EscapeStart ? TState::EscapeStartDash : TState::EscapedDashDash;
      return p + 1;
    case TState::Escaped:
    case TState::EscapedDash:
    case TState::EscapedDashDash: {
      if (c == '<') {
        state_ = TState::EscapedLess;
        return p + 1;
      }
      if (c == '-') {
        Text("-", TTextKind::RawText);
        state_ = state_ == TState::Escaped ? TState::EscapedDash : TState::EscapedDashDash;
        return p + 1;
      }
      if (c == '>' && state_ == TState::EscapedDashDash) {
        Text(">", TTextKind::RawText);
        state_ = TState::ScriptData;
        return p + 1;
      }
      const char* const next = FindFirstOf2(p, end, '<', '-');
      Text(p, next, TTextKind::RawText);
      state_ = TState::Escaped;
      return next;
    }
    case TState::EscapedLess:
      if (c == '/') {
        held_ = "</";
        text_state_ = TState::Escaped;
        state_ = TState::TextEndOpen;
        return p + 1;
      }
      Text("<", TTextKind::RawText);
      if (IsAlpha(c)) {
        double_escape_.clear();
        state_ = TState::DoubleEscapeStart;
      } else {
        state_ = TState::Escaped;
      }
      return p;
    case TState::DoubleEscapeStart:
    case TState::DoubleEscapeEnd: {
      const bool start = state_ == TState::DoubleEscapeStart;
      if (IsSpace(c) || c == '/' || c == '>') {
        const bool script = double_escape_ == "script";
        state_ = script == start ? TState::DoubleEscaped : TState::Escaped;
        Text(std::string_view(p, 1), TTextKind::RawText);
        return p + 1;
      }
      if (IsAlpha(c)) {
        if (double_escape_.size() <= 6) {
          double_escape_ += AsciiLowerChar(c);
        }
        Text(std::string_view(p, 1), TTextKind::RawText);
        return p + 1;
      }
      state_ = start ? TState::Escaped : TState::DoubleEscaped;
      return p;
    }
    case TState::DoubleEscaped:
    case TState::DoubleEscapedDash:
    case TState::DoubleEscapedDashDash: {
      if (c == '<') {
        Text("<", TTextKind::RawText);
        state_ = TState::DoubleEscapedLess;
        return p + 1;
      }
      if (c == '-') {
        Text("-", TTextKind::RawText);
        state_ = state_ == TState::DoubleEscaped ? TState::DoubleEscapedDash
                                                 : TState::DoubleEscapedDashDash;
        return p + 1;
      }
      if (c == '>' && state_ == TState::DoubleEscapedDashDash) {
        Text(">", TTextKind::RawText);
        state_ = TState::ScriptData;
        return p + 1;
      }
      const char* const next = FindFirstOf2(p, end, '<', '-');
      Text(p, next, TTextKind::RawText);
      state_ = TState::DoubleEscaped;
      return next;
    }
    default:  // TState::DoubleEscapedLess
      if (c == '/') {
        Text("/", TTextKind::RawText);
        double_escape_.clear();
        state_ = TState::DoubleEscapeEnd;
        return p + 1;
      }
      state_ = TState::DoubleEscaped;
      return p;
  }
}

void THtmlTokenizer::TImpl::BeginTag(bool endTag) {
  end_tag_ = endTag;
  self_closing_ = false;
  dropping_ = false;
  tag_size_ = endTag ? 2 : 1;  // "</", or "<" before the first letter
  name_open_ = false;
  tag_name_.clear();
  tag_bytes_.clear();
  attributes_.clear();
}

void THtmlTokenizer::TImpl::CountTagBytes(std::size_t count) {
  tag_size_ += count;
  if (!dropping_ && tag_size_ > options_.MaxTagBytes) {
    dropping_ = true;
    tag_bytes_.clear();
    tag_bytes_.shrink_to_fit();
    attributes_.clear();
  }
}

void THtmlTokenizer::TImpl::BeginAttribute() {
  if (!dropping_ && !end_tag_) {
    const auto at = static_cast<std::uint32_t>(tag_bytes_.size());
    attributes_.push_back({at, 0, at, 0});
    name_open_ = true;
  }
}

void THtmlTokenizer::TImpl::EndAttributeName() {
  if (name_open_ && !dropping_) {
    TAttributePlace& place = attributes_.back();
    place.nameLength = static_cast<std::uint32_t>(tag_bytes_.size()) - place.nameOffset;
    place.valueOffset = static_cast<std::uint32_t>(tag_bytes_.size());
  }
  name_open_ = false;
}

void THtmlTokenizer::TImpl::AppendToTag(const char* from, const char* to) {
  if (!dropping_ && !end_tag_) {
    tag_bytes_.append(from, to);
  }
}

// Tag names and attribute names, and what lies between them.
const char* THtmlTokenizer::TImpl::StepTag(const char* p, const char* end) {
  const char c = *p;
  switch (state_) {
    case TState::TagName: {
      const char* q = p;
      while (q < end && !IsSpace(*q) && *q != '/' && *q != '>') {
        ++q;
      }
      CountTagBytes(static_cast<std::size_t>(q - p));
      AppendLowered(tag_name_, p,
                    p + std::min(static_cast<std::size_t>(q - p),
                                 kMaxNameBytes - std::min(kMaxNameBytes, tag_name_.size())));
      if (q == end) {
        return end;
      }
      CountTagBytes(1);
      if (*q == '>') {
        EmitTag();
      } else {
        state_ = *q == '/' ? TState::SelfClosingStartTag : TState::BeforeAttributeName;
      }
      return q + 1;
    }
    case TState::BeforeAttributeName:
    case TState::AfterAttributeName: {
      const char* q = p;
      while (q < end && IsSpace(*q)) {
        ++q;
      }
      CountTagBytes(static_cast<std::size_t>(q - p));
      if (q == end) {
        return end;
      }
      const char d = *q;
      if (d == '/' || d == '>' || (d == '=' && state_ == TState::AfterAttributeName)) {
        CountTagBytes(1);
        if (d == '>') {
          EmitTag();
        } else {
          state_ = d == '/' ? TState::SelfClosingStartTag : TState::BeforeAttributeValue;
        }
        return q + 1;
      }
      BeginAttribute();
      state_ = TState::AttributeName;
      // "=" may start a name: it is read as the name's first letter.
      return ReadAttributeName(q, end, d == '=');
    }
    case TState::AttributeName:
      return ReadAttributeName(p, end, false);
    case TState::BeforeAttributeValue:
      CountTagBytes(1);
      if (IsSpace(c)) {
        return p + 1;
      }
      if (c == '"' || c == '\'') {
        state_ = c == '"' ? TState::AttributeValueDouble : TState::AttributeValueSingle;
        return p + 1;
      }
      if (c == '>') {
        EmitTag();
        return p + 1;
      }
      tag_size_ -= 1;
      state_ = TState::AttributeValueUnquoted;
      return p;
    case TState::AfterAttributeValueQuoted:
      CountTagBytes(1);
      if (c == '/') {
        state_ = TState::SelfClosingStartTag;
        return p + 1;
      }
      if (c == '>') {
        EmitTag();
        return p + 1;
      }
      state_ = TState::BeforeAttributeName;
      if (IsSpace(c)) {
        return p + 1;
      }
      tag_size_ -= 1;
      return p;
    default:  // TState::SelfClosingStartTag
      if (c == '>') {
        CountTagBytes(1);
        self_closing_ = true;
        EmitTag();
        return p + 1;
      }
      state_ = TState::BeforeAttributeName;
      return p;
  }
}

// The letters of an attribute name, lower case, up to what ends it; the
// first one is taken whatever it is when first is set.
const char* THtmlTokenizer::TImpl::ReadAttributeName(const char* p, const char* end, bool first) {
  const char* q = first ? p + 1 : p;
  while (q < end && !IsSpace(*q) && *q != '/' && *q != '>' && *q != '=') {
    ++q;
  }
  CountTagBytes(static_cast<std::size_t>(q - p));
  if (!dropping_ && !end_tag_) {
    AppendLowered(tag_bytes_, p, q);
  }
  if (q == end) {
    return end;
  }
  EndAttributeName();
  if (*q == '=') {
    CountTagBytes(1);
    state_ = TState::BeforeAttributeValue;
    return q + 1;
  }
  state_ = TState::AfterAttributeName;
  return q;
}

const char* THtmlTokenizer::TImpl::StepAttributeValue(const char* p, const char* end) {
  if (state_ == TState::AttributeValueUnquoted) {
    const char* q = p;
    while (q < end && !IsSpace(*q) && *q != '>') {
      ++q;
    }
    CountTagBytes(static_cast<std::size_t>(q - p));
    AppendToTag(p, q);
    if (q == end) {
      return end;
    }
    CountTagBytes(1);
    if (*q == '>') {
      EmitTag();
    } else {
      state_ = TState::BeforeAttributeName;
    }
    return q + 1;
  }
  const char quote = state_ == TState::AttributeValueDouble ? '"' : '\'';
  const char* const close = Find(p, end, quote);
  CountTagBytes(static_cast<std::size_t>(close - p));
  AppendToTag(p, close);
  if (close == end) {
    return end;
  }
  CountTagBytes(1);
  state_ = TState::AfterAttributeValueQuoted;
  return close + 1;
}

namespace {

// What a name's letters are to a tag read whole: the end of a tag name (white
// space, "/", ">"), the end of an attribute name (those and "="), a capital.
enum : std::uint8_t { kEndsTagName = 1, kEndsAttributeName = 2, kCapital = 4, kBlank = 8 };
constexpr std::array<std::uint8_t, 256> kNameLetters = [] {
  std::array<std::uint8_t, 256> table{};
  for (const char c : {' ', '\n', '\t', '\f', '\r', '/', '>'}) {
    table[static_cast<unsigned char>(c)] = kEndsTagName | kEndsAttributeName;
  }
  for (const char c : {' ', '\n', '\t', '\f', '\r'}) {
    table[static_cast<unsigned char>(c)] |= kBlank;
  }
  table['='] = kEndsAttributeName;
  for (char c = 'A'; c <= 'Z'; ++c) {
    table[static_cast<unsigned char>(c)] = kCapital;
  }
  return table;
}();

#if defined(__SSE2__)
// Bit i set when byte i of the 16 at p may end a tag name: a byte up to the
// blank (white space, or a control character, which the caller tells
// apart), "/" or ">"; with equals, "=" too (an attribute name).
inline unsigned NameEndMask16(__m128i bytes, bool equals) {
  const __m128i low = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(' ')), bytes);
  __m128i ends = _mm_or_si128(low, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('>')));
  ends = _mm_or_si128(ends, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('/')));
  if (equals) {
    ends = _mm_or_si128(ends, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('=')));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(ends));
}

inline __m128i Capitals16(__m128i bytes) {
  const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8('A' - 128));
  return _mm_cmplt_epi8(shifted, _mm_set1_epi8('Z' - 'A' + 1 - 128));
}

// NameKey of the name in the first length (1 to 7) of the bytes, lowered
// where capitals (of Capitals16) are.
inline std::uint64_t PackedKey(__m128i bytes, __m128i capitals, unsigned length) {
  const __m128i lowered = _mm_or_si128(bytes, _mm_and_si128(capitals, _mm_set1_epi8(0x20)));
  std::uint64_t packed = 0;
  _mm_storel_epi64(reinterpret_cast<__m128i*>(&packed), lowered);
  return (packed & ((std::uint64_t{1} << (8 * length)) - 1)) | (std::uint64_t{length} << 56);
}
#endif

// The end of a name from p on (ended by a letter of kind ends), and whether
// it holds capitals. Names are short and of any length, so a loop over their
// letters would guess its end wrong about once a name: a name that ends
// within sixteen bytes is found without a loop.
// With key, a short name's NameKey is made from the bytes at hand (0 when
// it is not).
[[gnu::always_inline]] inline const char* NameEnd(const char* p, const char* end, std::uint8_t ends,
                                                  bool* capitals, std::uint64_t* key = nullptr) {
#if defined(__SSE2__)
  if (end - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned mask = NameEndMask16(bytes, (ends & kEndsTagName) == 0);
    // A control character that is no white space belongs to the name.
    if (mask != 0 &&
        (kNameLetters[static_cast<unsigned char>(p[__builtin_ctz(mask)])] & ends) != 0) {
      const auto length = static_cast<unsigned>(__builtin_ctz(mask));
      const __m128i capitalBytes = Capitals16(bytes);
      *capitals =
          (static_cast<unsigned>(_mm_movemask_epi8(capitalBytes)) & ((1U << length) - 1)) != 0;
      if (key != nullptr && length > 0 && length <= kPackedNameBytes) {
        *key = PackedKey(bytes, capitalBytes, length);
      }
      return p + length;
    }
  }
#endif
  std::uint8_t seen = 0;
  while (p < end) {
    const std::uint8_t kind = kNameLetters[static_cast<unsigned char>(*p)];
    if ((kind & ends) != 0) {
      break;
    }
    seen |= kind;
    ++p;
  }
  *capitals = (seen & kCapital) != 0;
  return p;
}

// Most often there is one blank or none: that one is stepped over without
// a guess.
const char* SkipSpace(const char* p, const char* end) {
  if (p < end) {
    p += (kNameLetters[static_cast<unsigned char>(*p)] & kBlank) != 0 ? 1 : 0;
  }
  while (p < end && (kNameLetters[static_cast<unsigned char>(*p)] & kBlank) != 0) {
    ++p;
  }
  return p;
}

}  // namespace

// A tag that lies whole in the text at hand, read in one go by the rules the
// states follow, its names and values left where they are (a name with
// capitals is lowered into tag_bytes_). nullptr, with nothing done, when the
// tag goes on past the text or past the bound: the states read it then.
const char* THtmlTokenizer::TImpl::ReadWholeTag(const char* less, const char* end) {
  const bool endTag = less + 1 < end && less[1] == '/';
  const char* p = less + (endTag ? 2 : 1);
  if (p >= end || !IsAlpha(*p)) {
    return nullptr;
  }
  const char* const nameStart = p;
  bool capitals = false;
  std::uint64_t key = 0;
  p = NameEnd(p, end, kEndsTagName, &capitals, &key);
  if (p >= end) {
    return nullptr;
  }
  tag_bytes_.clear();
  place_count_ = 0;
  text_end_ = end;
  const std::string_view name = Lowered(
      nameStart, nameStart + std::min(kMaxNameBytes, static_cast<std::size_t>(p - nameStart)),
      capitals);
  if (key == 0) {
    key = NameKey(name);
  }
  bool selfClosing = false;
  for (;;) {
    p = SkipSpace(p, end);
    if (p >= end) {
      return nullptr;
    }
    if (*p == '>') {
      break;
    }
    if (*p == '/') {
      if (p + 1 < end && p[1] == '>') {
        selfClosing = true;
        ++p;
        break;
      }
      ++p;
      continue;
    }
    // The first letter of a name may be "=".
    const char* const attributeName = p;
    p = NameEnd(p + 1, end, kEndsAttributeName, &capitals);
    capitals = capitals || (*attributeName >= 'A' && *attributeName <= 'Z');
    const char* const nameEnd = p;
    p = SkipSpace(p, end);
    if (p >= end) {
      return nullptr;
    }
    const char* valueStart = p;
    const char* valueEnd = p;
    if (*p == '=') {
      p = SkipSpace(p + 1, end);
      if (p >= end) {
        return nullptr;
      }
      if (*p == '"' || *p == '\'') {
        valueStart = p + 1;
        valueEnd = Find(valueStart, end, *p);
        if (valueEnd == end) {
          return nullptr;
        }
        p = valueEnd + 1;
      } else {
        valueStart = p;
        while (p < end && !IsSpace(*p) && *p != '>') {
          ++p;
        }
        if (p >= end) {
          return nullptr;
        }
        valueEnd = p;
      }
    }
    if (place_count_ == places_.size()) {
      places_.emplace_back();
    }
    places_[place_count_++] = {attributeName, nameEnd, valueStart, valueEnd, capitals};
  }
  if (static_cast<std::size_t>(p + 1 - less) > options_.MaxTagBytes) {
    return nullptr;
  }
  if (endTag) {
    context_.EndTag(name, key);
    sink_.OnEndTag(name);
    state_ = TState::Data;
    return p + 1;
  }
  view_count_ = 0;
  if (!seen_names_.empty()) {  // clearing even an empty set writes its buckets
    seen_names_.clear();
  }
  for (const TPlace& place : std::span(places_).first(place_count_)) {
    AddAttribute(Lowered(place.nameFrom, place.nameTo, place.capitals),
                 std::string_view(place.valueFrom,
                                  static_cast<std::size_t>(place.valueTo - place.valueFrom)),
                 place_count_ > kFewAttributes);
  }
  state_ = TState::Data;
  StartTagRead(name, key, selfClosing, true);
  return p + 1;
}

// The name as it is when it has no capitals, else lowered into tag_bytes_
// (reserved so that no earlier name moves).
std::string_view THtmlTokenizer::TImpl::Lowered(const char* from, const char* to, bool capitals) {
  if (!capitals) {
    return {from, static_cast<std::size_t>(to - from)};
  }
  // No tag read whole is longer than its text or the bound.
  tag_bytes_.reserve(std::min(options_.MaxTagBytes, static_cast<std::size_t>(text_end_ - from)));
  const std::size_t at = tag_bytes_.size();
  AppendLowered(tag_bytes_, from, to);
  return {tag_bytes_.data() + at, tag_bytes_.size() - at};
}

void THtmlTokenizer::TImpl::EmitTag() {
  EndAttributeName();
  // Each value runs to where the next attribute starts.
  for (std::size_t i = 0; i < attributes_.size(); ++i) {
    const std::size_t next =
        i + 1 < attributes_.size() ? attributes_[i + 1].nameOffset : tag_bytes_.size();
    attributes_[i].valueLength = static_cast<std::uint32_t>(next - attributes_[i].valueOffset);
  }
  state_ = TState::Data;
  if (dropping_) {
    sink_.OnWarning("a tag longer than the bound was dropped");
  }
  if (end_tag_) {
    context_.EndTag(tag_name_, NameKey(tag_name_));
    sink_.OnEndTag(tag_name_);
    return;
  }
  EmitStartTag();
}

void THtmlTokenizer::TImpl::EmitStartTag() {
  view_count_ = 0;
  if (!seen_names_.empty()) {  // clearing even an empty set writes its buckets
    seen_names_.clear();
  }
  for (const TAttributePlace& place : attributes_) {
    AddAttribute(std::string_view(tag_bytes_.data() + place.nameOffset, place.nameLength),
                 std::string_view(tag_bytes_.data() + place.valueOffset, place.valueLength),
                 attributes_.size() > kFewAttributes);
  }
  StartTagRead(tag_name_, NameKey(tag_name_), self_closing_, !dropping_);
}

// Of repeated names the first counts.
void THtmlTokenizer::TImpl::AddAttribute(std::string_view name, std::string_view value, bool many) {
  const bool repeated =
      many ? !seen_names_.insert(name).second
           : std::any_of(views_.begin(), views_.begin() + static_cast<std::ptrdiff_t>(view_count_),
                         [name](const THtmlAttribute& a) { return a.Name == name; });
  if (!repeated) {
    if (view_count_ == views_.size()) {
      views_.emplace_back();
    }
    views_[view_count_++] = {name, value};
  }
}

// A start tag whose attributes are in views_: to the tree builder's rules,
// to the sink when kept, then the text mode it opens.
void THtmlTokenizer::TImpl::StartTagRead(std::string_view name, std::uint64_t key, bool selfClosing,
                                         bool kept) {
  const TMarkupContext::TStart start = context_.StartTag(name, key, selfClosing, Views());
  if (kept) {
    THtmlStartTag tag;
    tag.Name = name;
    tag.Attributes = Views();
    tag.SelfClosing = selfClosing;
    tag.Namespace = start.Namespace;
    tag.InTemplate = start.InTemplate;
    sink_.OnStartTag(tag);
  }
  if (start.Mode != TContentMode::Markup) {
    last_start_tag_ = name;
  }
  switch (start.Mode) {
    case TContentMode::Markup:
      state_ = TState::Data;
      break;
    case TContentMode::RcData:
      state_ = TState::RcData;
      break;
    case TContentMode::RawText:
      state_ = TState::RawText;
      break;
    case TContentMode::ScriptData:
      state_ = TState::ScriptData;
      break;
    case TContentMode::PlainText:
      state_ = TState::PlainText;
      break;
  }
}

// "<!": a comment, a DOCTYPE or a CDATA section, told by what follows.
const char* THtmlTokenizer::TImpl::StepDeclaration(const char* p, const char* end) {
  if (state_ == TState::Doctype) {
    const char* const close = Find(p, end, '>');
    const std::size_t room = kMaxDoctypeBytes - std::min(kMaxDoctypeBytes, doctype_.size());
    doctype_.append(p, std::min(room, static_cast<std::size_t>(close - p)));
    if (close == end) {
      return end;
    }
    const auto first = std::find_if_not(doctype_.begin(), doctype_.end(), IsSpace);
    sink_.OnDoctype(AsciiLower(std::string(first, std::find_if(first, doctype_.end(), IsSpace))));
    state_ = TState::Data;
    return close + 1;
  }
  held_ += *p;
  const std::string_view held = held_;
  if (held == "--") {
    BeginComment({});
    state_ = TState::CommentStart;
    return p + 1;
  }
  if (SameTextIgnoringCase(held, "doctype")) {
    doctype_.clear();
    state_ = TState::Doctype;
    return p + 1;
  }
  if (held == "[CDATA[") {
    if (context_.AllowsCData()) {
      state_ = TState::CData;
    } else {
      BeginComment(held);
      state_ = TState::BogusComment;
    }
    return p + 1;
  }
  const bool prefix =
      StartsWith("--", held) ||
      SameTextIgnoringCase(held, std::string_view("doctype").substr(0, held.size())) ||
      StartsWith("[CDATA[", held);
  if (prefix) {
    return p + 1;
  }
  ReplayAsBogusComment();
  return p + 1;
}

// What followed "<!" is no declaration: it is the text of a bogus comment,
// read as one (a ">" among it ends the comment).
void THtmlTokenizer::TImpl::ReplayAsBogusComment() {
  const std::string replay = std::move(held_);
  held_.clear();
  BeginComment({});
  state_ = TState::BogusComment;
  Run(replay.data(), replay.data() + replay.size());
}

void THtmlTokenizer::TImpl::AppendComment(std::string_view text) {
  if (!options_.ReportComments) {
    return;
  }
  comment_.append(text);
  if (comment_.size() >= kCommentPieceBytes) {
    sink_.OnComment(comment_, false);
    comment_.clear();
  }
}

void THtmlTokenizer::TImpl::EmitComment() {
  if (options_.ReportComments) {
    sink_.OnComment(comment_, true);
    comment_.clear();
  }
  state_ = TState::Data;
}

const char* THtmlTokenizer::TImpl::StepComment(const char* p, const char* end) {
  const char c = *p;
  switch (state_) {
    case TState::BogusComment: {
      const char* const close = Find(p, end, '>');
      AppendComment(std::string_view(p, static_cast<std::size_t>(close - p)));
      if (close == end) {
        return end;
      }
      EmitComment();
      return close + 1;
    }
    case TState::CommentStart:
    case TState::CommentStartDash:
      if (c == '>') {
        EmitComment();
        return p + 1;
      }
      if (c == '-') {
        state_ = state_ == TState::CommentStart ? TState::CommentStartDash : TState::CommentEnd;
        return p + 1;
      }
      if (state_ == TState::CommentStartDash) {
        AppendComment("-");
      }
      state_ = TState::Comment;
      return p;
    case TState::Comment: {
      const char* const dash = Find(p, end, '-');
      AppendComment(std::string_view(p, static_cast<std::size_t>(dash - p)));
      if (dash == end) {
        return end;
      }
      state_ = TState::CommentEndDash;
      return dash + 1;
    }
    case TState::CommentEndDash:
      if (c == '-') {
        state_ = TState::CommentEnd;
        return p + 1;
      }
      AppendComment("-");
      state_ = TState::Comment;
      return p;
    case TState::CommentEnd:
      if (c == '>') {
        EmitComment();
        return p + 1;
      }
      if (c == '!') {
        state_ = TState::CommentEndBang;
        return p + 1;
      }
      if (c == '-') {
        AppendComment("-");
        return p + 1;
      }
      AppendComment("--");
      state_ = TState::Comment;
      return p;
    default:  // TState::CommentEndBang
      if (c == '>') {
        EmitComment();
        return p + 1;
      }
      AppendComment("--!");
      if (c == '-') {
        state_ = TState::CommentEndDash;
        return p + 1;
      }
      state_ = TState::Comment;
      return p;
  }
}

const char* THtmlTokenizer::TImpl::StepCData(const char* p, const char* end) {
  const char c = *p;
  switch (state_) {
    case TState::CData: {
      const char* const bracket = Find(p, end, ']');
      Text(p, bracket, TTextKind::CData);
      if (bracket == end) {
        return end;
      }
      state_ = TState::CDataBracket;
      return bracket + 1;
    }
    case TState::CDataBracket:
      if (c == ']') {
        state_ = TState::CDataEnd;
        return p + 1;
      }
      Text("]", TTextKind::CData);
      state_ = TState::CData;
      return p;
    default:  // TState::CDataEnd
      if (c == ']') {
        Text("]", TTextKind::CData);
        return p + 1;
      }
      if (c == '>') {
        state_ = TState::Data;
        return p + 1;
      }
      Text("]]", TTextKind::CData);
      state_ = TState::CData;
      return p;
  }
}

void THtmlTokenizer::TImpl::Finish() {
  switch (state_) {
    case TState::TagOpen:
      Text("<", TTextKind::Data);
      break;
    case TState::EndTagOpen:
      Text("</", TTextKind::Data);
      break;
    case TState::TextLess:
    case TState::ScriptLess:
      Text("<", KindOfTextState());
      break;
    case TState::EscapedLess:
      Text("<", TTextKind::RawText);
      break;
    case TState::TextEndOpen:
    case TState::TextEndName:
      Text(held_, KindOfTextState());
      break;
    case TState::MarkupDeclarationOpen:
      ReplayAsBogusComment();
      EmitComment();
      break;
    case TState::BogusComment:
    case TState::CommentStart:
    case TState::CommentStartDash:
    case TState::Comment:
    case TState::CommentEndDash:
    case TState::CommentEnd:
    case TState::CommentEndBang:
      EmitComment();
      break;
    case TState::Doctype:
      sink_.OnDoctype({});
      break;
    case TState::CDataBracket:
      Text("]", TTextKind::CData);
      break;
    case TState::CDataEnd:
      Text("]]", TTextKind::CData);
      break;
    default:  // text ends with the input; a tag open at the end is dropped
      break;
  }
  held_.clear();
  state_ = TState::Data;
}

THtmlTokenizer::THtmlTokenizer(THtmlTokenSink& sink, THtmlTokenizerOptions options)
    : impl_(std::make_unique<TImpl>(sink, options)) {}

THtmlTokenizer::~THtmlTokenizer() = default;

void THtmlTokenizer::StartIn(TTokenizerStart start, std::string_view lastStartTag) {
  impl_->StartIn(start, lastStartTag);
}

void THtmlTokenizer::Feed(std::string_view bytes) {
  impl_->Feed(bytes);
}

void THtmlTokenizer::Finish() {
  impl_->Finish();
}

}  // namespace movrek
