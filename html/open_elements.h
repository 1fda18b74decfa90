// The HTML elements a browser's tree builder holds open in a page's body and
// its list of active anchors, kept as names only: enough to tell where the
// builder makes an anchor the markup did not write. An <a> left open when an
// element around it closes (<p><a href=x>text</p> more) is made again before
// the next text or inline tag, and misnested anchors are split; each such
// copy is an anchor of the document with the original's attributes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "html/html_tokenizer.h"

namespace movrek {

// How the content after a start tag is read.
enum class TContentMode : std::uint8_t { Markup, RcData, RawText, ScriptData, PlainText };

// A number for an element name, so that names compare as numbers; never 0.
// A name of up to seven bytes is its bytes and its length, which a tokenizer
// can take from the bytes it has loaded anyway; a longer one is hashed
// (FNV-1a), with the top bit set, which no short name's key has.
constexpr std::size_t kPackedNameBytes = 7;
constexpr std::uint64_t NameKey(std::string_view name) {
  if (name.empty()) {
    return 1;
  }
  if (name.size() <= kPackedNameBytes) {
    std::uint64_t key = std::uint64_t{name.size()} << 56;
    for (std::size_t i = 0; i < name.size(); ++i) {
      key |= std::uint64_t{static_cast<unsigned char>(name[i])} << (8 * i);
    }
    return key;
  }
  std::uint64_t hash = 14695981039346656037ULL;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  }
  return hash | (std::uint64_t{1} << 63);
}

class TOpenElements {
 public:
  // Told of every anchor the builder makes beside those written.
  class TCopySink {
   public:
    virtual ~TCopySink() = default;
    virtual void OnAnchorCopy(std::span<const THtmlAttribute> attributes) = 0;
  };

  explicit TOpenElements(TCopySink& copies) : copies_(copies) {}

  // An HTML start tag (not of foreign content), before its element is made:
  // how the content after it is read.
  TContentMode StartTag(std::uint64_t key, bool selfClosing,
                        std::span<const THtmlAttribute> attributes);
  void EndTag(std::uint64_t key);
  // Text in the body; blank: of white space only.
  void Text(bool blank);
  // Whether text can make an anchor again: only when the last entry of the
  // list is an anchor. Text is most of a page; its blankness is worth
  // finding out only then.
  [[nodiscard]] bool TextMatters() const { return !anchors_.empty() && anchors_.back().id != 0; }
  // Foreign content (<svg>, <math>) closed again.
  void CloseForeign(std::string_view name);

 private:
  struct TElement {
    std::uint64_t key = 0;     // NameKey of its name
    std::uint64_t anchor = 0;  // the id of the anchor entry it was made for
    std::uint32_t flags = 0;   // what kind of element it is
  };
  struct TAnchorEntry {
    std::uint64_t id = 0;  // 0: a marker (cells, captions, objects, templates)
    // The attributes' names and values one after the other, and where each
    // name and value ends.
    std::string text;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ends;
  };
  enum class TScope : std::uint8_t { Default, ListItem, Button, Table };

  void Push(std::uint64_t key, std::uint32_t flags, std::uint64_t anchor);
  void Pop();
  bool PopThrough(std::uint64_t key);
  [[nodiscard]] bool InScope(std::uint64_t key, TScope scope) const;
  [[nodiscard]] std::ptrdiff_t Find(std::uint64_t key) const;
  [[nodiscard]] bool IsOpen(std::uint64_t anchor) const;
  void GenerateImpliedEndTags(std::uint64_t except);
  void CloseParagraph();
  void CloseListItem(std::uint64_t key);
  void CloseCell();
  void EndHeading();
  void StartOther(std::uint64_t key, std::uint32_t flags, bool selfClosing);
  void ClearAnchorsToMarker();
  void Reconstruct();
  void OpenAnchor(std::span<const THtmlAttribute> attributes);
  void DropAnchorEntry(std::ptrdiff_t at);
  void StartAnchor(std::span<const THtmlAttribute> attributes);
  void StartTablePart(std::uint64_t key, std::uint32_t flags);
  bool AdoptAnchor();
  void AnyOtherEndTag(std::uint64_t key);
  void EmitCopy(const TAnchorEntry& entry);
  [[nodiscard]] std::ptrdiff_t LastAnchorEntry() const;
  [[nodiscard]] bool InTableBody() const;

  TCopySink& copies_;
  std::vector<TElement> open_;
  std::size_t unrecorded_ = 0;  // elements opened past the depth kept
  std::vector<TAnchorEntry> anchors_;
  TAnchorEntry spare_;  // the storage of a closed anchor, for the next one
  std::uint64_t next_id_ = 1;
  std::vector<THtmlAttribute> views_;
};

}  // namespace movrek
