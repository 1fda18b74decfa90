#include "html/html_scanner.h"

#include <string>
#include <string_view>
#include <utility>

#include "html/html_document.h"
#include "html/html_elements.h"
#include "html/objects_list.h"
#include "html/scan_machine.h"

namespace movrek {

namespace {

// Elements into the document's list. An element is a piece of the text or,
// rarely, a text of its own; hookFirst says whether OnElement sees it before
// it is added. Without hooks an element is only a position in the text.
class TDocumentOutput {
 public:
  static constexpr bool kKeepsText = true;

  explicit TDocumentOutput(THTMLObject& document)
      : document_(document), elements_(document.Elements) {}

  void Range(std::string_view text, TElementKind kind, std::size_t offset, std::size_t length,
             bool hookFirst, bool& continueScan) {
    if (!hooked_) {
      elements_.AddSourceRange(kind, offset, length);
      return;
    }
    Object(kind, std::string(text.substr(offset, length)), hookFirst, continueScan);
  }

  void Owned(TElementKind kind, std::string text, bool hookFirst, bool& continueScan) {
    if (!hooked_) {
      elements_.AddOwnedText(kind, std::move(text));
      return;
    }
    Object(kind, std::move(text), hookFirst, continueScan);
  }

  // The SCRIPT content goes in before its end tag; the hook sees each before
  // it is added.
  void ScriptEnd(std::string_view text, scan::TTextPiece content, scan::TTextPiece tag,
                 bool& continueScan) {
    if (!hooked_ || !document_.OnElement) {
      elements_.AddSourceRange(EK_Script, content.offset, content.length);
      elements_.AddSourceRange(EK_Tag, tag.offset, tag.length);
      return;
    }
    auto tag_object =
        TObjectsList::MakeElement(EK_Tag, std::string(text.substr(tag.offset, tag.length)));
    auto content_object = TObjectsList::MakeElement(
        EK_Script, std::string(text.substr(content.offset, content.length)));
    auto& content_ref = static_cast<TScriptObject&>(*content_object);
    document_.OnElement(document_, EK_Script, content_ref, continueScan);
    if (!continueScan) {
      return;
    }
    elements_.Add(std::move(content_object));
    auto& tag_ref = static_cast<TTagObject&>(*tag_object);
    document_.OnElement(document_, EK_Tag, tag_ref, continueScan);
    if (!continueScan) {
      return;
    }
    elements_.Add(std::move(tag_object));
  }

  void Warn(std::size_t position, const char* what, bool& continueScan) {
    if (!document_.OnWarning) {
      return;
    }
    const std::string message = std::to_string(position + 1) + ": " + what;
    document_.OnWarning(document_, 1, message, continueScan);
  }

 private:
  void Object(TElementKind kind, std::string text, bool hookFirst, bool& continueScan) {
    auto element = TObjectsList::MakeElement(kind, std::move(text));
    THTMLElement& ref = *element;
    if (!document_.OnElement) {  // a hook took the hook away
      elements_.Add(std::move(element));
      return;
    }
    if (hookFirst) {
      document_.OnElement(document_, kind, ref, continueScan);
      if (continueScan) {
        elements_.Add(std::move(element));
      }
    } else {
      elements_.Add(std::move(element));
      document_.OnElement(document_, kind, ref, continueScan);
    }
  }

  THTMLObject& document_;
  TObjectsList& elements_;
  const bool hooked_ = static_cast<bool>(document_.OnElement);
};

}  // namespace

bool ScanDocument(THTMLObject& document, std::string_view text) {
  TDocumentOutput output(document);
  scan::TScanMachine<TDocumentOutput> machine(output);
  return machine.Resume(text);
}

}  // namespace movrek
