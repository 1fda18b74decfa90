// The scan's state machine, shared by the scan of a whole document and the
// scan of a page as it arrives. Where its elements go is the Output's
// business:
//   static constexpr bool kKeepsText;  // text and SCRIPT content elements wanted
//   void Range(std::string_view text, TElementKind kind, std::size_t offset,
//              std::size_t length, bool hookFirst, bool& continueScan);
//   void Owned(TElementKind kind, std::string text, bool hookFirst,
//              bool& continueScan);  // with kKeepsText only
//   void ScriptEnd(std::string_view text, TTextPiece content, TTextPiece tag,
//                  bool& continueScan);
//   void Warn(std::size_t position, const char* what, bool& continueScan);
// Positions count from the start of the text the machine was last given.
// An Output without kKeepsText gets no text elements, and the machine may
// then be given the text in pieces and told to forget what it no longer needs
// (KeepFrom, Forget): its memory is then that of the tag being read.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html/html_elements.h"
#include "html/text_file.h"
#include "text/ascii_text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace movrek::scan {

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
inline const char* FindSpecial(const char* p, const char* const end, const TCharTable& table) {
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

// A piece of the text: where it starts and how long it is.
struct TTextPiece {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// What a word that the machine was told to forget the start of still tells:
// its characters above code 32 (the first five) and whether blanks came
// after some of them. Enough to tell whether the whole word is a comment
// opener.
struct TWordHead {
  char chars[5] = {};
  std::size_t length = 0;
  bool trailing = false;
  bool tooLong = false;  // no opener whatever follows

  void Add(char c) {
    if (tooLong) {
      return;
    }
    if (IsBlankOrControl(c)) {
      trailing = trailing || length > 0;
      return;
    }
    if (trailing || length == 5) {
      tooLong = true;
      return;
    }
    chars[length++] = c;
  }
};

// The first character at or after p above code 32, or end.
inline const char* FindAboveBlank(const char* p, const char* const end) {
#if defined(__SSE2__)
  const __m128i blank = _mm_set1_epi8(32);
  while (end - p >= 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto blanks =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(chunk, blank), blank)));
    if (blanks != 0xFFFF) {
      return p + __builtin_ctz(~blanks);
    }
    p += 16;
  }
#endif
  while (p < end && IsBlankOrControl(*p)) {
    ++p;
  }
  return p;
}

template <class Output>
class TScanMachine {
 public:
  explicit TScanMachine(Output& output) : output_(output) {}

  // Scans on from where the last call stopped to the end of text, which is
  // the text of the last call (less what was forgotten) with more after it.
  // False when the Output stopped the scan.
  bool Resume(std::string_view text);

  // The first position the machine may still read; the text before it can
  // be forgotten. Only for an Output without kKeepsText.
  [[nodiscard]] std::size_t KeepFrom() const;
  // The first count characters are gone: positions move down by count.
  void Forget(std::size_t count);

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

  [[nodiscard]] bool PreviousIs(std::size_t i, char c) const {
    return (i > 0 ? text_[i - 1] : previous_) == c;
  }
  // CurrentWord is the text since the last white space or "<", without the
  // characters the scan skipped; it is only asked whether it is an HTML
  // comment opener, so its start and the skipped positions suffice.
  void ResetWord(std::size_t i) {
    word_start_ = i;
    word_gaps_.clear();
    word_head_ = TWordHead{};
  }
  [[nodiscard]] bool WordIsCommentOpener(std::size_t i) const;
  void AddWordText(TWordHead& head, std::size_t from, std::size_t to) const;
  bool PendingHoldsScriptEnd();
  [[nodiscard]] bool PendingIsScriptTag() const;

  void EmitRange(TElementKind kind, std::size_t offset, std::size_t length, bool hookFirst) {
    output_.Range(text_, kind, offset, length, hookFirst, state_.Continue);
  }

  Output& output_;
  std::string_view text_;
  std::size_t next_ = 0;  // the first position not scanned yet
  char previous_ = 0;     // the character before position 0, once forgotten
  TScanState state_;
  TTextRange pending_;
  TTextRange script_text_;
  std::size_t word_start_ = 0;
  std::vector<std::size_t> word_gaps_;
  TWordHead word_head_;  // of the part of the word before word_start_, forgotten
  // How far Pending has been searched for "/SCRIPT", so that a long Pending
  // met by many ">" is searched once.
  std::size_t end_search_start_ = static_cast<std::size_t>(-1);
  std::size_t end_searched_to_ = 0;
  bool end_found_ = false;
};

template <class Output>
bool TScanMachine<Output>::Resume(std::string_view text) {
  text_ = text;
  const std::size_t n = text_.size();
  const char* const data = text_.data();
  std::size_t i = next_;
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
      i = n;
      break;
    }
    Step(j);
    i = j + 1;
  }
  next_ = i;
  return state_.Continue;
}

template <class Output>
std::size_t TScanMachine<Output>::KeepFrom() const {
  static_assert(!Output::kKeepsText, "a text kept whole is never forgotten in part");
  // One character back for PreviousIs, and the text of the tag being read.
  std::size_t keep = next_ > 0 ? next_ - 1 : 0;
  if (state_.InTag && !pending_.Empty()) {
    keep = std::min(keep, pending_.start);
  }
  return keep;
}

template <class Output>
void TScanMachine<Output>::Forget(std::size_t count) {
  if (count == 0) {
    return;
  }
  // The word's forgotten part is kept as its head; a text run's start and
  // the SCRIPT content's are never read again, and wrap like the rest.
  if (word_start_ < count) {
    AddWordText(word_head_, word_start_, count);
    word_start_ = count;
  }
  std::size_t kept = 0;
  for (const std::size_t gap : word_gaps_) {
    if (gap >= count) {
      word_gaps_[kept++] = gap - count;
    }
  }
  word_gaps_.resize(kept);
  previous_ = text_[count - 1];
  next_ -= count;
  word_start_ -= count;
  pending_.start -= count;
  script_text_.start -= count;
  end_search_start_ -= count;
  end_searched_to_ -= count;
}

template <class Output>
void TScanMachine<Output>::Step(std::size_t i) {
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

template <class Output>
void TScanMachine<Output>::OnWhiteSpace(std::size_t i, char c) {
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
    if constexpr (Output::kKeepsText) {
      if (c == '\r' && (pending_.Empty() || pending_.End() == i)) {
        EmitRange(EK_Text, pending_.Empty() ? i : pending_.start, pending_.length + 1, true);
      } else {
        output_.Owned(EK_Text, std::string(text_.substr(pending_.start, pending_.length)) + '\r',
                      true, s.Continue);
      }
    }
    pending_.Clear();
  } else if (c == '\r' && s.InScript && s.InComment && !s.InBlockComment) {
    s.InComment = false;  // a // comment ends with its line
  }
  ResetWord(i);
}

template <class Output>
void TScanMachine<Output>::OnBang() {
  TScanState& s = state_;
  // Anywhere in a tag, not only right after "<": the tag becomes text.
  if (s.InTag && !s.InQuote && !s.InComment) {
    s.InComment = true;
  }
}

template <class Output>
void TScanMachine<Output>::OnQuote(std::size_t i, char c) {
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

template <class Output>
void TScanMachine<Output>::OnStar(std::size_t i) {
  TScanState& s = state_;
  if (s.InScript && !s.InQuote && !s.InBlockComment && PreviousIs(i, '/')) {
    s.InBlockComment = true;
    s.InComment = true;
  }
}

template <class Output>
void TScanMachine<Output>::OnSlash(std::size_t i) {
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

template <class Output>
void TScanMachine<Output>::OnLess(std::size_t i) {
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
    if (Output::kKeepsText && !pending_.Empty()) {
      EmitRange(EK_Text, pending_.start, pending_.length, false);
    }
    pending_.Clear();
    if (!s.Continue) {
      return;
    }
  } else {
    output_.Warn(i, "\"<\" Symbol is ignored", s.Continue);
    if (!s.Continue) {
      return;
    }
  }
  // A "<" also ends a quoted string or a comment.
  s.InBlockComment = false;
  s.InComment = false;
  s.InQuote = false;
}

template <class Output>
void TScanMachine<Output>::OnEquals() {
  TScanState& s = state_;
  if (s.InTag && !s.InQuote && !(s.InScript && s.ScriptCommentOpen) &&
      s.TagState == TS_BetweenAttributes) {
    s.TagState = TS_AfterEquals;
  }
}

template <class Output>
void TScanMachine<Output>::OnGreater(std::size_t i) {
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
    output_.ScriptEnd(text_, {script_text_.start, content_length},
                      {pending_.start, pending_.length}, s.Continue);
    if (!s.Continue) {
      return;
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
        if constexpr (Output::kKeepsText) {
          if (pending_.start > 0 && text_[pending_.start - 1] == '<' && pending_.End() == i) {
            EmitRange(EK_Text, pending_.start - 1, pending_.length + 2, true);
          } else {
            output_.Owned(EK_Text,
                          "<" + std::string(text_.substr(pending_.start, pending_.length)) + ">",
                          true, s.Continue);
          }
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
    output_.Warn(i, "\">\" Symbol is ignored", s.Continue);
  }
}

template <class Output>
void TScanMachine<Output>::AppendStep(std::size_t i) {
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

// Blanks (codes 0 to 32) only count for whether they follow a character of
// the word, and the skipped positions are never blanks ("<" and ">"), so a
// run of them is passed at once.
template <class Output>
void TScanMachine<Output>::AddWordText(TWordHead& head, std::size_t from, std::size_t to) const {
  std::size_t k = from;
  while (k < to && !head.tooLong) {
    const std::size_t visible = FindAboveBlank(text_.data() + k, text_.data() + to) - text_.data();
    if (visible > k) {
      head.Add(' ');
    }
    if (visible == to) {
      return;
    }
    bool skipped = false;
    for (const std::size_t gap : word_gaps_) {
      skipped = skipped || gap == visible;
    }
    if (!skipped) {
      head.Add(text_[visible]);
    }
    k = visible + 1;
  }
}

template <class Output>
bool TScanMachine<Output>::WordIsCommentOpener(std::size_t i) const {
  // Trimmed, the word must be "<!--" or "<!---": at most five characters
  // above code 32, none of 0 to 32 between them.
  TWordHead head = word_head_;
  AddWordText(head, word_start_, i);
  return !head.tooLong && ((head.length == 4 && std::memcmp(head.chars, "<!--", 4) == 0) ||
                           (head.length == 5 && std::memcmp(head.chars, "<!---", 5) == 0));
}

template <class Output>
bool TScanMachine<Output>::PendingHoldsScriptEnd() {
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

template <class Output>
bool TScanMachine<Output>::PendingIsScriptTag() const {
  return SameTextIgnoringCase(TagNameOf(text_.substr(pending_.start, pending_.length)), "SCRIPT");
}

}  // namespace movrek::scan
