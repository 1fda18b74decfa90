#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace movrek {

class THTMLObject;

// The kind code a document passes to its OnElement hook.
enum TElementKind : std::uint8_t {
  EK_Text = 0,    // TNormalText: a text run, a comment or a declaration
  EK_Tag = 1,     // TTagObject
  EK_Script = 4,  // TScriptObject: the content of one SCRIPT element
};

// What every element of a document shares.
class THTMLElement {
 public:
  THTMLElement() = default;
  THTMLElement(const THTMLElement&) = delete;
  THTMLElement& operator=(const THTMLElement&) = delete;
  virtual ~THTMLElement() = default;

  // The element's text form.
  [[nodiscard]] virtual std::string GetText() const { return {}; }
  // Sets the element from a text.
  virtual void SetText(const std::string& /*text*/) {}

  std::string SourceText;                // the text the element was made from
  THTMLObject* OwnerDocument = nullptr;  // the document that holds it; not owned

 protected:
  explicit THTMLElement(std::string text) : SourceText(std::move(text)) {}
};

// A tag: its name as written (an end tag's name keeps its "/") and one line
// per attribute token.
class TTagObject : public THTMLElement {
 public:
  TTagObject() = default;
  // SourceText := text, then SetText(text).
  explicit TTagObject(std::string text);

  // "<", TagName, a blank and a line per attribute, ">".
  [[nodiscard]] std::string GetText() const override;
  // The tag text parse; adds to what TagName and Attributes already hold.
  void SetText(const std::string& text) override;

  // The text after the first "=" of the first attribute line whose name (the
  // text before its first "=") equals name without regard to ASCII case; one
  // leading and one trailing double quote removed when it is 3 or more
  // characters long. default_value when no line matches.
  [[nodiscard]] std::string AttributeValue(std::string_view name,
                                           const std::string& defaultValue) const;
  [[nodiscard]] bool IsTag(std::string_view name) const;

  std::string TagName;
  std::vector<std::string> Attributes;
};

// A run of text.
class TNormalText : public THTMLElement {
 public:
  TNormalText() = default;
  // SourceText and Content := text.
  explicit TNormalText(std::string text);

  [[nodiscard]] std::string GetText() const override { return Content; }
  void SetText(const std::string& text) override { Content = text; }

  std::string Content;
};

// The content of one SCRIPT element.
class TScriptObject : public TNormalText {
 public:
  using TNormalText::TNormalText;
};

// The tag name the tag text parse finds in a text, or empty. Cheaper than a
// TTagObject when only the name is wanted.
std::string_view TagNameOf(std::string_view tagText);

// What TTagObject(tag_text).AttributeValue(name, default_value) gives,
// without building the tag.
std::string TagAttributeValue(std::string_view tagText, std::string_view name,
                              const std::string& defaultValue);

}  // namespace movrek
