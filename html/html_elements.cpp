#include "html/html_elements.h"

#include <algorithm>

#include "html/ascii_text.h"
#include "html/html_errors.h"
#include "html/text_file.h"

namespace movrek {

namespace {

// The white space of the tag text parse: BS, TAB, LF, CR and blank.
bool IsTagWhiteSpace(char c) {
  return c == 8 || c == 9 || c == 10 || c == 13 || c == 32;
}

// The tag text parse. Calls on_token(trimmed token, is_name) for each token in
// order: the first one that ends is the name, the rest are attribute lines.
// Only double quotes hold white space inside a token, and a last token still
// inside an open double quote is dropped. on_token returns false to stop.
template <typename OnToken>
void WalkTagTokens(std::string_view s, OnToken&& on_token) {
  if (s.empty()) {
    return;
  }
  if (s.front() == '<') {
    s.remove_prefix(1);
  }
  if (s.empty()) {
    return;
  }
  if (s.back() == '>') {
    s.remove_suffix(1);
  }
  if (s.empty()) {
    return;
  }
  const std::size_t last = s.size() - 1;
  std::size_t token_start = 0;
  bool in_quote = false;
  bool name_stage = true;
  for (std::size_t i = 0; i <= last; ++i) {
    const char c = s[i];
    if (c == '"') {
      in_quote = !in_quote;
    }
    if ((IsTagWhiteSpace(c) || i == last) && !in_quote) {
      if (!on_token(TrimControls(s.substr(token_start, i + 1 - token_start)), name_stage)) {
        return;
      }
      name_stage = false;
      token_start = i + 1;
    }
  }
}

}  // namespace

std::string_view TagNameOf(std::string_view tag_text) {
  std::string_view name;
  WalkTagTokens(tag_text, [&name](std::string_view token, bool is_name) {
    if (is_name) {
      name = token;
    }
    return false;
  });
  return name;
}

TTagObject::TTagObject(std::string text) : THTMLElement(std::move(text)) {
  SetText(SourceText);
}

void TTagObject::SetText(const std::string& text) {
  WalkTagTokens(text, [this](std::string_view token, bool is_name) {
    if (is_name) {
      TagName.assign(token);
    } else {
      Attributes.emplace_back(token);
    }
    return true;
  });
}

std::string TTagObject::GetText() const {
  std::string text = "<" + TagName;
  for (const auto& line : Attributes) {
    text += ' ';
    text += line;
  }
  text += '>';
  return text;
}

bool TTagObject::IsTag(std::string_view name) const {
  return SameTextIgnoringCase(TagName, name);
}

namespace {

// Whether the attribute line is named name and, if so, its value.
bool MatchAttributeLine(std::string_view line, std::string_view name, std::string_view* value) {
  const std::size_t equals = line.find('=');
  const std::string_view line_name =
      equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
  if (!SameTextIgnoringCase(line_name, name)) {
    return false;
  }
  // A line without "=" (reached only by asking for the empty name) gives the
  // whole line, as taking the text after a missing "=" does.
  std::string_view found = line.substr(equals == std::string_view::npos ? 0 : equals + 1);
  if (found.size() >= 3) {
    if (found.front() == '"') {
      found.remove_prefix(1);
    }
    if (found.back() == '"') {
      found.remove_suffix(1);
    }
  }
  *value = found;
  return true;
}

}  // namespace

std::string TTagObject::AttributeValue(std::string_view name,
                                       const std::string& default_value) const {
  std::string_view value;
  for (const auto& line : Attributes) {
    if (MatchAttributeLine(line, name, &value)) {
      return std::string(value);
    }
  }
  return default_value;
}

std::string TagAttributeValue(std::string_view tag_text, std::string_view name,
                              const std::string& default_value) {
  std::string_view value;
  bool found = false;
  WalkTagTokens(tag_text, [&](std::string_view token, bool is_name) {
    found = !is_name && MatchAttributeLine(token, name, &value);
    return !found;
  });
  return found ? std::string(value) : default_value;
}

TNormalText::TNormalText(std::string text) : THTMLElement(std::move(text)), Content(SourceText) {}

// ---------------------------------------------------------------------------

std::unique_ptr<THTMLElement> TObjectsList::MakeElement(TElementKind kind, std::string text) {
  switch (kind) {
    case EK_Tag:
      return std::make_unique<TTagObject>(std::move(text));
    case EK_Script:
      return std::make_unique<TScriptObject>(std::move(text));
    case EK_Text:
      break;
  }
  return std::make_unique<TNormalText>(std::move(text));
}

void TObjectsList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw EListError(index);
  }
}

std::string_view TObjectsList::EntryText(const Entry& entry) const {
  if (entry.source == kOwnedText) {
    return owned_[entry.offset];
  }
  if (entry.source == kLongRange) {
    const LongRange& range = long_ranges_[entry.offset];
    return text_.View().substr(range.offset, range.length);
  }
  return text_.View().substr(entry.offset, entry.length);
}

THTMLElement* TObjectsList::ObjectAt(int index) {
  CheckIndex(index);
  Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.source != kObject) {
    auto element =
        MakeElement(static_cast<TElementKind>(entry.kind), std::string(EntryText(entry)));
    element->OwnerDocument = owner_;
    if (entry.source == kOwnedText) {
      owned_[entry.offset] = std::string();
    }
    entry.source = kObject;
    entry.offset = objects_.size();
    objects_.push_back(std::move(element));
  }
  return objects_[entry.offset].get();
}

std::string TObjectsList::AttributeValueAt(int index, std::string_view name,
                                           const std::string& default_value) const {
  CheckIndex(index);
  const Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.source == kObject) {
    const auto* tag = dynamic_cast<const TTagObject*>(objects_[entry.offset].get());
    return tag != nullptr ? tag->AttributeValue(name, default_value) : default_value;
  }
  if (entry.kind != EK_Tag) {
    return default_value;
  }
  return TagAttributeValue(EntryText(entry), name, default_value);
}

int TObjectsList::FindTag(long long from, std::string_view name) const {
  const long long count = Count();
  for (long long index = from < 0 ? 0 : from; index < count; ++index) {
    const Entry& entry = entries_[static_cast<std::size_t>(index)];
    std::string_view tag_name;
    if (entry.source == kObject) {
      const auto* tag = dynamic_cast<const TTagObject*>(objects_[entry.offset].get());
      if (tag == nullptr) {
        continue;
      }
      tag_name = tag->TagName;
    } else {
      if (entry.kind != EK_Tag) {
        continue;
      }
      const std::string_view text = EntryText(entry);
      // The name starts with the text's first character unless that one is
      // trimmed away (codes 0 to 32); most tags fail on it.
      if (!name.empty() && !text.empty()) {
        const char first = text.front() == '<' && text.size() > 1 ? text[1] : text.front();
        if (!IsBlankOrControl(first) &&
            AsciiUpperChar(first) != AsciiUpperChar(name.front())) {
          continue;
        }
      }
      tag_name = TagNameOf(text);
    }
    if (name.empty() || SameTextIgnoringCase(tag_name, name)) {
      return static_cast<int>(index);
    }
  }
  return -1;
}

void TObjectsList::DeleteAt(int index) {
  if (index < 0) {
    return;
  }
  CheckIndex(index);
  const Entry entry = entries_[static_cast<std::size_t>(index)];
  entries_.erase(entries_.begin() + index);
  if (entry.source == kObject) {
    objects_[entry.offset].reset();
  }
  if (entry.source == kOwnedText) {
    owned_[entry.offset] = std::string();
  }
}

void TObjectsList::Clear() {
  entries_.clear();
  long_ranges_.clear();
  owned_.clear();
  objects_.clear();
}

void TObjectsList::Add(std::unique_ptr<THTMLElement> element) {
  if (entries_.size() >= kMaxElements) {
    return;  // the element is destroyed
  }
  entries_.push_back({objects_.size(), 0, 0, kObject});
  objects_.push_back(std::move(element));
}

void TObjectsList::SetOwnerOfBuiltElements() {
  for (auto& element : objects_) {
    if (element) {
      element->OwnerDocument = owner_;
    }
  }
}

void TObjectsList::ResetText(TDocumentText text) {
  Clear();
  objects_.shrink_to_fit();
  owned_.shrink_to_fit();
  long_ranges_.shrink_to_fit();
  text_ = std::move(text);
  // Every element but the few of a script comment line is ended by a "<" or
  // a ">" that a "<" opened, and no scan makes more than two per "<"; nor
  // can a text hold more elements than half its size. Reserving that much
  // spares the copies of a growing list; pages never touched cost nothing.
  const std::string_view view = text_.View();
  const std::size_t bound = std::min(2 * CountByte(view, '<'), view.size() / 2) + 16;
  std::vector<Entry>().swap(entries_);
  entries_.reserve(bound);
  AdviseHugePages(entries_.data(), entries_.capacity() * sizeof(Entry));
}

void TObjectsList::AddLongRange(TElementKind kind, std::size_t offset, std::size_t length) {
  if (entries_.size() >= kMaxElements) {
    return;
  }
  entries_.push_back({long_ranges_.size(), 0, kind, kLongRange});
  long_ranges_.push_back({offset, length});
}

void TObjectsList::AddOwnedText(TElementKind kind, std::string text) {
  if (entries_.size() >= kMaxElements) {
    return;
  }
  entries_.push_back({owned_.size(), 0, kind, kOwnedText});
  owned_.push_back(std::move(text));
}

}  // namespace movrek
