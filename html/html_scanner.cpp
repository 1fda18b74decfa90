#include "html/html_scanner.h"

#include <array>
#include <cassert>
#include <cstring>
#include <string_view>
#include <utility>

#include "html/html_document.h"
#include "html/html_elements.h"
#include "html/objects_list.h"
#include "html/text_file.h"
#include "text/ascii_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek {

namespace {

// Where the scan is inside a tag.
enum TTagState : std::uint8_t {
  TS_None,               // no tag met yet
  TS_AfterOpen,          // right after the "<" (or a SCRIPT "<"), in the tag name
  TS_AfterClose,         // the last tag has been closed by its ">"
  TS_BetweenAttributes,  // white space met: an attribute name may follow
  TS_AfterEquals,        // "=" met after an attribute name: a value may follow
};

// The flags of one scan. They are all cleared when a load starts.
struct TScanState {
  bool InTag = false;              // a "<" opened a tag whose ">" has not come
  bool InScript = false;           // inside the content of a SCRIPT element
  bool InQuote = false;            // inside a quoted attribute value or script string
  bool InComment = false;          // an unquoted "!" in the tag, or a script comment
  bool InBlockComment = false;     // inside a script comment of the /* */ form
  bool ScriptCommentOpen = false;  // a script line opened an HTML comment ("<!--")
  char QuoteChar = 0;              // the quote that will close InQuote
  TTagState TagState = TS_None;
  bool SkipAppend = false;  // the current character is not part of any element text
  bool Continue = true;     // cleared by a hook to stop the scan
};

// A piece of the document text that grows by the characters right after it:
// the scan's Pending and ScriptText buffers only ever grow that way (every
// character the scan skips is one that also empties them), so a position
// and a length describe them without copying.
struct TTextRange {
  std::size_t start = 0;
  std::size_t length = 0;

  [[nodiscard]] bool Empty() const { return length == 0; }
  [[nodiscard]] std::size_t End() const { return start + length; }
  void Clear() { length = 0; }
  void Append(std::size_t from, std::size_t to) {
    if (length == 0) {
      start = from;
    }
    assert(start + length == from);
    length += to - from;
  }
};

// The characters that may change the scan's state, for each kind of place.
// Others are only appended, so runs of them are appended at once.
using TCharTable = std::array<bool, 256>;

constexpr TCharTable MakeTable(std::string_view specials) {
  TCharTable table{};
  for (char c : specials) {
    table[static_cast<unsigned char>(c)] = true;
  }
  for (char c : {'\b', '\t', '\n', '\r', ' '}) {
    table[static_cast<unsigned char>(c)] = true;
  }
  return table;
}

// Inside a tag, outside quotes and SCRIPT: "*" and "/" matter only in SCRIPT.
constexpr TCharTable kInTag = MakeTable("!\"'<=>");
// Inside a quoted value of a tag: only the quotes and "<" end it.
constexpr TCharTable kInQuotedValue = MakeTable("\"'<");
// SCRIPT content, or a script comment left open: everything.
constexpr TCharTable kEverything = MakeTable("!\"'*/<=>");

// The first character at or after p that the table marks, or end. Sixteen
// bytes at a time find candidates: every code up to 34 (white space, "!" and
// the double quote), the apostrophe, and per table "<" to ">" or "*" and "/";
// the table then decides.
const char* FindSpecial(const char* p, const char* const end, const TCharTable& table) {
#if defined(__SSE2__)
  const bool script = &table == &kEverything;
  const bool quoted = &table == &kInQuotedValue;
  const __m128i up_to_34 = _mm_set1_epi8(34);
  const __m128i apostrophe = _mm_set1_epi8('\'');
  const __m128i less = _mm_set1_epi8('<');
  const __m128i two = _mm_set1_epi8(2);
  const __m128i star = _mm_set1_epi8('*');
  const __m128i slash = _mm_set1_epi8('/');
  while (end - p >= 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(chunk, up_to_34), chunk),
                                _mm_cmpeq_epi8(chunk, apostrophe));
    if (quoted) {
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(chunk, less));
    } else {
      const __m128i from_less = _mm_sub_epi8(chunk, less);  // "<" "=" ">" become 0 1 2
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(_mm_min_epu8(from_less, two), from_less));
      if (script) {
        hits = _mm_or_si128(
            hits, _mm_or_si128(_mm_cmpeq_epi8(chunk, star), _mm_cmpeq_epi8(chunk, slash)));
      }
    }
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
    while (mask != 0) {
      const char* candidate = p + __builtin_ctz(mask);
      if (table[static_cast<unsigned char>(*candidate)]) {
        return candidate;
      }
      mask &= mask - 1;
    }
    p += 16;
  }
#endif
  while (p < end && !table[static_cast<unsigned char>(*p)]) {
    ++p;
  }
  return p;
}

class TScanner {
 public:
  TScanner(THTMLObject& document, std::string_view text)
      : document_(document), text_(text), elements_(document.Elements) {}

  // Scans the whole text; returns false when a hook stopped it.
  bool Run();

 private:
  void Step(std::size_t i);
  void OnWhiteSpace(std::size_t i, char c);
  void OnBang();
  void OnQuote(std::size_t i, char c);
  void OnStar(std::size_t i);
  void OnSlash(std::size_t i);
  void OnLess(std::size_t i);
  void OnEquals();
  void OnGreater(std::size_t i);
  void AppendStep(std::size_t i);

  [[nodiscard]] bool PreviousIs(std::size_t i, char c) const { return i > 0 && text_[i - 1] == c; }
  // CurrentWord is the text since the last white space or "<", without the
  // characters the scan skipped; it is only asked whether it is an HTML
  // comment opener, so its start and the skipped positions suffice.
  void ResetWord(std::size_t i) {
    word_start_ = i;
    word_gaps_.clear();
  }
  [[nodiscard]] bool WordIsCommentOpener(std::size_t i) const;
  bool PendingHoldsScriptEnd();
  [[nodiscard]] bool PendingIsScriptTag() const;
  void Warn(std::size_t i, const char* what);

  // Element making. An element is a piece of the text or, rarely, a text of
  // its own; hook_first says whether OnElement sees it before it is added.
  // Without hooks an element is only a position in the text.
  void EmitRange(TElementKind kind, std::size_t offset, std::size_t length, bool hookFirst) {
    if (!hooked_) {
      elements_.AddSourceRange(kind, offset, length);
      return;
    }
    EmitObject(kind, std::string(text_.substr(offset, length)), hookFirst);
  }
  void EmitOwned(TElementKind kind, std::string text, bool hookFirst) {
    if (!hooked_) {
      elements_.AddOwnedText(kind, std::move(text));
      return;
    }
    EmitObject(kind, std::move(text), hookFirst);
  }
  void EmitObject(TElementKind kind, std::string text, bool hookFirst);

  THTMLObject& document_;
  std::string_view text_;
  TObjectsList& elements_;
  const bool hooked_ = static_cast<bool>(document_.OnElement);
  TScanState state_;
  TTextRange pending_;
  TTextRange script_text_;
  std::size_t word_start_ = 0;
  std::vector<std::size_t> word_gaps_;
  // How far Pending has been searched for "/SCRIPT", so that a long Pending
  // met by many ">" is searched once.
  std::size_t end_search_start_ = static_cast<std::size_t>(-1);
  std::size_t end_searched_to_ = 0;
  bool end_found_ = false;
};

bool TScanner::Run() {
  const std::size_t n = text_.size();
  const char* const data = text_.data();
  std::size_t i = 0;
  while (i < n && state_.Continue) {
    std::size_t j;
    if (!state_.InTag && !state_.InScript && !state_.InQuote && !state_.ScriptCommentOpen) {
      // Plain text: only "<" and a stray ">" do anything here. White space
      // would empty CurrentWord, but the "<" that ends the text empties it
      // anyway before anyone asks.
      j = static_cast<std::size_t>(FindFirstOf2(data + i, data + n, '<', '>') - data);
    } else {
      const TCharTable& table = (state_.InScript || state_.ScriptCommentOpen) ? kEverything
                                : state_.InQuote                              ? kInQuotedValue
                                                                              : kInTag;
      j = static_cast<std::size_t>(FindSpecial(data + i, data + n, table) - data);
    }
    if (j > i) {
      pending_.Append(i, j);
      if (state_.InScript) {
        script_text_.Append(i, j);
      }
    }
    if (j == n) {
      break;
    }
    Step(j);
    i = j + 1;
  }
  return state_.Continue;
}

void TScanner::Step(std::size_t i) {
  const char c = text_[i];
  switch (c) {
    case 8:
    case 9:
    case 10:
    case 13:
    case 32:
      OnWhiteSpace(i, c);
      break;
    case '!':
      OnBang();
      break;
    case '"':
    case '\'':
      OnQuote(i, c);
      break;
    case '*':
      OnStar(i);
      break;
    case '/':
      OnSlash(i);
      break;
    case '<':
      OnLess(i);
      break;
    case '=':
      OnEquals();
      break;
    case '>':
      OnGreater(i);
      break;
    default:
      break;
  }
  if (state_.Continue) {
    AppendStep(i);
  }
}

void TScanner::OnWhiteSpace(std::size_t i, char c) {
  TScanState& s = state_;
  // In SCRIPT content a tag is only a tag up to its first white space.
  if (s.InScript && s.InTag) {
    s.InTag = false;
  }
  if (s.InTag && !s.InQuote && (s.TagState == TS_AfterOpen || s.TagState == TS_AfterEquals)) {
    s.TagState = TS_BetweenAttributes;
  }
  // Old pages hide script code from browsers without scripting inside an
  // HTML comment; the line that opens it is kept as text.
  if (s.InScript && WordIsCommentOpener(i)) {
    s.ScriptCommentOpen = true;
  }
  if ((c == '\r' || c == '\n') && s.ScriptCommentOpen) {
    script_text_.Clear();
    s.InQuote = s.InComment = s.InBlockComment = s.ScriptCommentOpen = false;
    // Pending followed by one CR.
    if (c == '\r' && (pending_.Empty() || pending_.End() == i)) {
      EmitRange(EK_Text, pending_.Empty() ? i : pending_.start, pending_.length + 1, true);
    } else {
      EmitOwned(EK_Text, std::string(text_.substr(pending_.start, pending_.length)) + '\r', true);
    }
    pending_.Clear();
  } else if (c == '\r' && s.InScript && s.InComment && !s.InBlockComment) {
    s.InComment = false;  // a // comment ends with its line
  }
  ResetWord(i);
}

void TScanner::OnBang() {
  TScanState& s = state_;
  // Anywhere in a tag, not only right after "<": the tag becomes text.
  if (s.InTag && !s.InQuote && !s.InComment) {
    s.InComment = true;
  }
}

void TScanner::OnQuote(std::size_t i, char c) {
  TScanState& s = state_;
  if (s.InQuote && !s.InComment && !s.InBlockComment) {
    if (c == s.QuoteChar && !PreviousIs(i, '\\')) {
      s.InQuote = false;
    }
  } else if ((s.InScript && !s.InComment && !s.InBlockComment) ||
             (s.InTag && s.TagState == TS_AfterEquals)) {
    s.InQuote = true;
    s.QuoteChar = c;
  }
}

void TScanner::OnStar(std::size_t i) {
  TScanState& s = state_;
  if (s.InScript && !s.InQuote && !s.InBlockComment && PreviousIs(i, '/')) {
    s.InBlockComment = true;
    s.InComment = true;
  }
}

void TScanner::OnSlash(std::size_t i) {
  TScanState& s = state_;
  if (!s.InScript) {
    return;
  }
  if (PreviousIs(i, '/')) {
    if (!s.InComment && !s.InQuote && !s.InBlockComment) {
      s.InComment = true;
    }
  } else if (s.InBlockComment && PreviousIs(i, '*')) {
    s.InBlockComment = false;
    s.InComment = false;
  }
}

void TScanner::OnLess(std::size_t i) {
  TScanState& s = state_;
  ResetWord(i);
  if (s.InScript || s.InQuote) {
    if (s.InScript && !s.InQuote) {
      // A possible end tag inside SCRIPT content; its "<" stays in Pending.
      s.TagState = TS_AfterOpen;
      pending_.Clear();
      s.InTag = true;
    }
  } else if (!s.InTag) {
    s.InTag = true;
    s.TagState = TS_AfterOpen;
    s.SkipAppend = true;
    if (!pending_.Empty()) {
      EmitRange(EK_Text, pending_.start, pending_.length, false);
    }
    pending_.Clear();
    if (!s.Continue) {
      return;
    }
  } else {
    Warn(i, "\"<\" Symbol is ignored");
    if (!s.Continue) {
      return;
    }
  }
  // A "<" also ends a quoted string or a comment.
  s.InBlockComment = false;
  s.InComment = false;
  s.InQuote = false;
}

void TScanner::OnEquals() {
  TScanState& s = state_;
  if (s.InTag && !s.InQuote && !(s.InScript && s.ScriptCommentOpen) &&
      s.TagState == TS_BetweenAttributes) {
    s.TagState = TS_AfterEquals;
  }
}

void TScanner::OnGreater(std::size_t i) {
  TScanState& s = state_;
  if (s.InScript || s.InQuote || s.ScriptCommentOpen) {
    if (!(s.InScript && s.InTag && (!s.InQuote || s.ScriptCommentOpen))) {
      return;
    }
    ResetWord(i);
    if (!PendingHoldsScriptEnd()) {
      return;
    }
    // The end of the SCRIPT content: Pending holds its end tag from the "<".
    const std::size_t content_length =
        script_text_.length > pending_.length ? script_text_.length - pending_.length : 0;
    if (hooked_ && document_.OnElement) {
      auto tag = TObjectsList::MakeElement(
          EK_Tag, std::string(text_.substr(pending_.start, pending_.length)));
      auto content = TObjectsList::MakeElement(
          EK_Script, std::string(text_.substr(script_text_.start, content_length)));
      auto& content_ref = static_cast<TScriptObject&>(*content);
      document_.OnElement(document_, EK_Script, content_ref, s.Continue);
      if (!s.Continue) {
        return;
      }
      elements_.Add(std::move(content));
      auto& tag_ref = static_cast<TTagObject&>(*tag);
      document_.OnElement(document_, EK_Tag, tag_ref, s.Continue);
      if (!s.Continue) {
        return;
      }
      elements_.Add(std::move(tag));
    } else {
      elements_.AddSourceRange(EK_Script, script_text_.start, content_length);
      elements_.AddSourceRange(EK_Tag, pending_.start, pending_.length);
    }
    script_text_.Clear();
    s.InScript = false;
    pending_.Clear();
    s.InTag = false;
    s.SkipAppend = true;
  } else if (s.InTag) {
    bool opens_script = false;
    if (!pending_.Empty()) {
      if (s.InComment) {
        // A comment or declaration: kept whole, with its brackets.
        if (pending_.start > 0 && text_[pending_.start - 1] == '<' && pending_.End() == i) {
          EmitRange(EK_Text, pending_.start - 1, pending_.length + 2, true);
        } else {
          EmitOwned(EK_Text, "<" + std::string(text_.substr(pending_.start, pending_.length)) + ">",
                    true);
        }
      } else {
        opens_script = PendingIsScriptTag();
        EmitRange(EK_Tag, pending_.start, pending_.length, true);
      }
      if (!s.Continue) {
        return;
      }
      pending_.Clear();
    }
    if (opens_script) {
      s.InScript = true;
    }
    s.TagState = TS_AfterClose;
    s.InTag = s.InComment = s.InQuote = s.InBlockComment = false;
    s.SkipAppend = true;
  } else {
    Warn(i, "\">\" Symbol is ignored");
  }
}

void TScanner::AppendStep(std::size_t i) {
  if (state_.SkipAppend) {
    word_gaps_.push_back(i);
    state_.SkipAppend = false;
    return;
  }
  pending_.Append(i, i + 1);
  if (state_.InScript) {
    script_text_.Append(i, i + 1);
  }
}

bool TScanner::WordIsCommentOpener(std::size_t i) const {
  // Trimmed, the word must be "<!--" or "<!---": at most five characters
  // above code 32, none of 0 to 32 between them.
  char word[5];
  std::size_t length = 0;
  bool trailing = false;
  for (std::size_t k = word_start_; k < i; ++k) {
    bool skipped = false;
    for (std::size_t gap : word_gaps_) {
      skipped = skipped || gap == k;
    }
    if (skipped) {
      continue;
    }
    const char c = text_[k];
    if (IsBlankOrControl(c)) {
      trailing = trailing || length > 0;
      continue;
    }
    if (trailing || length == 5) {
      return false;
    }
    word[length++] = c;
  }
  return (length == 4 && std::memcmp(word, "<!--", 4) == 0) ||
         (length == 5 && std::memcmp(word, "<!---", 5) == 0);
}

bool TScanner::PendingHoldsScriptEnd() {
  if (pending_.Empty()) {
    return false;
  }
  if (pending_.start != end_search_start_) {
    end_search_start_ = pending_.start;
    end_searched_to_ = pending_.start;
    end_found_ = false;
  }
  if (end_found_) {
    return true;
  }
  static constexpr std::string_view kEnd = "/SCRIPT";
  // Trimming cannot touch "/SCRIPT", so the untrimmed Pending is searched;
  // only what was added since the last search, plus an overlap.
  std::size_t from = end_searched_to_ >= pending_.start + kEnd.size() - 1
                         ? end_searched_to_ - (kEnd.size() - 1)
                         : pending_.start;
  const std::size_t end = pending_.End();
  end_searched_to_ = end;
  while (end - from >= kEnd.size()) {
    const void* slash = std::memchr(text_.data() + from, '/', end - from - (kEnd.size() - 1));
    if (slash == nullptr) {
      break;
    }
    const auto at = static_cast<std::size_t>(static_cast<const char*>(slash) - text_.data());
    if (SameTextIgnoringCase(text_.substr(at, kEnd.size()), kEnd)) {
      end_found_ = true;
      return true;
    }
    from = at + 1;
  }
  return false;
}

bool TScanner::PendingIsScriptTag() const {
  return SameTextIgnoringCase(TagNameOf(text_.substr(pending_.start, pending_.length)), "SCRIPT");
}

void TScanner::Warn(std::size_t i, const char* what) {
  if (!document_.OnWarning) {
    return;
  }
  const std::string message = std::to_string(i + 1) + ": " + what;
  document_.OnWarning(document_, 1, message, state_.Continue);
}

void TScanner::EmitObject(TElementKind kind, std::string text, bool hookFirst) {
  auto element = TObjectsList::MakeElement(kind, std::move(text));
  THTMLElement& ref = *element;
  if (!document_.OnElement) {  // a hook took the hook away
    elements_.Add(std::move(element));
    return;
  }
  if (hookFirst) {
    document_.OnElement(document_, kind, ref, state_.Continue);
    if (state_.Continue) {
      elements_.Add(std::move(element));
    }
  } else {
    elements_.Add(std::move(element));
    document_.OnElement(document_, kind, ref, state_.Continue);
  }
}

}  // namespace

bool ScanDocument(THTMLObject& document, std::string_view text) {
  TScanner scanner(document, text);
  return scanner.Run();
}

}  // namespace movrek
