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

class TOpenElements {
 public:
  // Told of every anchor the builder makes beside those written.
  class TCopySink {
   public:
    virtual ~TCopySink() = default;
    virtual void OnAnchorCopy(std::span<const THtmlAttribute> attributes) = 0;
  };

  explicit TOpenElements(TCopySink& copies) : copies_(copies) {}

  // An HTML start tag (not of foreign content), before its element is made.
  void StartTag(std::string_view name, bool selfClosing,
                std::span<const THtmlAttribute> attributes);
  void EndTag(std::string_view name);
  // Text in the body; blank: of white space only.
  void Text(bool blank);
  // Foreign content (<svg>, <math>) opened here, or closed again.
  void OpenForeign(std::string_view name) { Push(name, 0); }
  void CloseForeign(std::string_view name) { PopThrough(name); }

 private:
  struct TElement {
    std::string name;
    std::uint64_t anchor = 0;  // the id of the anchor entry it was made for
    std::uint32_t flags = 0;   // what kind of element it is
  };
  struct TAnchorEntry {
    std::uint64_t id = 0;  // 0: a marker (cells, captions, objects, templates)
    std::vector<std::pair<std::string, std::string>> attributes;
  };
  enum class TScope : std::uint8_t { Default, ListItem, Button, Table };

  void Push(std::string_view name, std::uint64_t anchor);
  bool PopThrough(std::string_view name);
  [[nodiscard]] bool InScope(std::string_view name, TScope scope) const;
  [[nodiscard]] std::ptrdiff_t Find(std::string_view name) const;
  void GenerateImpliedEndTags(std::string_view except);
  void CloseParagraph();
  void CloseListItem(std::string_view name);
  void CloseCell();
  void ClearAnchorsToMarker();
  void Reconstruct();
  void OpenAnchor(std::span<const THtmlAttribute> attributes);
  void StartAnchor(std::span<const THtmlAttribute> attributes);
  void StartTablePart(std::string_view name);
  bool AdoptAnchor();
  void AnyOtherEndTag(std::string_view name);
  void EmitCopy(const TAnchorEntry& entry);
  [[nodiscard]] std::ptrdiff_t LastAnchorEntry() const;
  [[nodiscard]] bool InTableBody() const;

  TCopySink& copies_;
  std::vector<TElement> open_;
  std::size_t unrecorded_ = 0;  // elements opened past the depth kept
  std::vector<TAnchorEntry> anchors_;
  std::uint64_t next_id_ = 1;
  std::vector<THtmlAttribute> views_;
};

}  // namespace movrek
