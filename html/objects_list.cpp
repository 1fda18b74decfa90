#include "html/objects_list.h"

#include <algorithm>
#include <iterator>

#include "html/html_errors.h"
#include "html/text_file.h"
#include "text/ascii_text.h"
#include "text/huge_pages.h"

namespace movrek {

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
                                           const std::string& defaultValue) const {
  CheckIndex(index);
  const Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.source == kObject) {
    const auto* tag = dynamic_cast<const TTagObject*>(objects_[entry.offset].get());
    return tag != nullptr ? tag->AttributeValue(name, defaultValue) : defaultValue;
  }
  if (entry.kind != EK_Tag) {
    return defaultValue;
  }
  return TagAttributeValue(EntryText(entry), name, defaultValue);
}

std::string_view TObjectsList::TagTextAt(int index) const {
  CheckIndex(index);
  const Entry& entry = entries_[static_cast<std::size_t>(index)];
  if (entry.source == kObject) {
    const auto* tag = dynamic_cast<const TTagObject*>(objects_[entry.offset].get());
    return tag != nullptr ? std::string_view(tag->SourceText) : std::string_view();
  }
  return entry.kind == EK_Tag ? EntryText(entry) : std::string_view();
}

int TObjectsList::FindTag(long long from, std::string_view name) const {
  if (name.empty()) {
    return FindTagAmong(from, {});
  }
  return FindTagAmong(from, {name});
}

int TObjectsList::FindTagAmong(long long from,
                               std::initializer_list<std::string_view> names) const {
  // The first letters of the names, upper case: most tags fail on them.
  char firsts[4] = {};
  std::size_t first_count = 0;
  bool any_empty = names.size() == 0;
  for (const std::string_view name : names) {
    any_empty = any_empty || name.empty();
    if (!name.empty() && first_count < std::size(firsts)) {
      firsts[first_count++] = AsciiUpperChar(name.front());
    }
  }
  const bool by_first = !any_empty && first_count == names.size();
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
      // trimmed away (codes 0 to 32).
      if (by_first && !text.empty()) {
        const char first = text.front() == '<' && text.size() > 1 ? text[1] : text.front();
        const char upper = AsciiUpperChar(first);
        if (!IsBlankOrControl(first) &&
            std::find(firsts, firsts + first_count, upper) == firsts + first_count) {
          continue;
        }
      }
      tag_name = TagNameOf(text);
    }
    if (names.size() == 0) {
      return static_cast<int>(index);
    }
    for (const std::string_view name : names) {
      if (SameTextIgnoringCase(tag_name, name)) {
        return static_cast<int>(index);
      }
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
