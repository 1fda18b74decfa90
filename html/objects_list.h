#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "html/document_text.h"
#include "html/html_elements.h"
#include "html/html_limits.h"

namespace movrek {

// The elements of a document, in order; the list owns them.
//
// A page of hundreds of megabytes holds millions of elements, so the list
// keeps what the scanner finds as a position and length in the document text
// and builds the element object the first time someone asks for it. From the
// outside every entry is an object that lives until it is deleted or the list
// is cleared.
class TObjectsList {
 public:
  TObjectsList() = default;
  TObjectsList(const TObjectsList&) = delete;
  TObjectsList& operator=(const TObjectsList&) = delete;
  ~TObjectsList() = default;

  [[nodiscard]] int Count() const { return static_cast<int>(entries_.size()); }
  // Throws EListError(index) outside 0 to Count() - 1.
  THTMLElement* ObjectAt(int index);
  // Destroys the element and removes its entry; a negative index does nothing,
  // one past the end throws EListError.
  void DeleteAt(int index);
  // Destroys every element.
  void Clear();
  // Takes ownership of the element and appends it.
  void Add(std::unique_ptr<THTMLElement> element);

  // --- used by the document and its scanner ---

  // Clears the list and makes text the document text later entries refer to.
  void ResetText(TDocumentText text);
  [[nodiscard]] std::string_view Text() const { return text_.View(); }
  // Appends an element made from Text()[offset, offset + length).
  // Elements past kMaxElements are dropped (see html_limits.h).
  void AddSourceRange(TElementKind kind, std::size_t offset, std::size_t length) {
    if (offset <= kMaxOffset && length <= kMaxLength && entries_.size() < kMaxElements) [[likely]] {
      entries_.push_back({offset, length, kind, kRange});
    } else {
      AddLongRange(kind, offset, length);
    }
  }
  // Appends an element made from a text that is not a piece of Text().
  void AddOwnedText(TElementKind kind, std::string text);
  // The index of the first tag at or after from whose name equals name
  // (ASCII case ignored), or of any tag when name is empty; -1 when there is
  // none. Builds no object.
  [[nodiscard]] int FindTag(long long from, std::string_view name) const;
  // The same for a tag with any of the names (any tag when there are none).
  [[nodiscard]] int FindTagAmong(long long from,
                                 std::initializer_list<std::string_view> names) const;
  // AttributeValue of the tag at index, without building it; defaultValue
  // when the entry is no tag.
  [[nodiscard]] std::string AttributeValueAt(int index, std::string_view name,
                                             const std::string& defaultValue) const;
  // The text the tag at index was made from, without building it; empty
  // when the entry is no tag.
  [[nodiscard]] std::string_view TagTextAt(int index) const;
  // Set by the document: elements built later get it as OwnerDocument.
  void SetOwner(THTMLObject* owner) { owner_ = owner; }
  // Makes the owner the OwnerDocument of every element object built so far.
  void SetOwnerOfBuiltElements();

  // An element object of the kind made from the text.
  static std::unique_ptr<THTMLElement> MakeElement(TElementKind kind, std::string text);

 private:
  // An entry is eight bytes: a page of a hundred megabytes has millions.
  // Pieces too long or too far for the fields are kept in long_ranges_.
  enum Source : std::uint8_t { kRange, kLongRange, kOwnedText, kObject };
  struct Entry {
    std::uint64_t offset : 40;  // into text_, or index into long_ranges_, owned_, objects_
    std::uint64_t length : 19;
    std::uint64_t kind : 3;
    std::uint64_t source : 2;
  };
  static_assert(sizeof(Entry) == 8);
  static constexpr std::size_t kMaxOffset = (std::size_t{1} << 40) - 1;
  static constexpr std::size_t kMaxLength = (std::size_t{1} << 19) - 1;
  struct LongRange {
    std::size_t offset;
    std::size_t length;
  };

  void AddLongRange(TElementKind kind, std::size_t offset, std::size_t length);

  void CheckIndex(int index) const;
  [[nodiscard]] std::string_view EntryText(const Entry& entry) const;

  TDocumentText text_;
  std::vector<Entry> entries_;
  std::vector<LongRange> long_ranges_;
  std::vector<std::string> owned_;
  std::vector<std::unique_ptr<THTMLElement>> objects_;
  THTMLObject* owner_ = nullptr;
};

}  // namespace movrek
