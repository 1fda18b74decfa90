// What a browser's tree builder tells its tokenizer, kept without building a
// tree: whether the element a start tag makes is HTML, SVG or MathML (foreign
// content, where CDATA sections are text and no tag opens a text mode),
// whether it lies inside <template> content, and which text mode its
// content is read in.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "html/html_tokenizer.h"
#include "html/open_elements.h"

namespace movrek {

class TMarkupContext {
 public:
  // copies: told of the anchors the tree builder makes again.
  explicit TMarkupContext(TOpenElements::TCopySink& copies) : html_(copies) {}

  // A start tag named name (lower case): the namespace of its element, and
  // how the content after it is read.
  struct TStart {
    THtmlNamespace Namespace = THtmlNamespace::Html;
    bool InTemplate = false;
    TContentMode Mode = TContentMode::Markup;
  };
  // key: NameKey(name).
  TStart StartTag(std::string_view name, std::uint64_t key, bool selfClosing,
                  std::span<const THtmlAttribute> attributes);
  void EndTag(std::string_view name, std::uint64_t key);
  // Text between tags; blank: white space only.
  void Text(bool blank) {
    if (HtmlRules()) {
      html_.Text(blank);
    }
  }
  [[nodiscard]] bool TextMatters() const { return HtmlRules() && html_.TextMatters(); }
  [[nodiscard]] bool InTemplate() const { return template_depth_ > 0; }

  // Whether a CDATA section is text here: inside an SVG or MathML element.
  [[nodiscard]] bool AllowsCData() const { return !open_.empty(); }

 private:
  // An element opened in foreign content, or an SVG or MathML root.
  struct TForeign {
    std::string Name;
    THtmlNamespace Namespace;
    bool HtmlInside;  // an integration point: start tags within are read as HTML
    bool Root;        // opened from HTML content
  };

  [[nodiscard]] bool HtmlRules() const { return open_.empty() || open_.back().HtmlInside; }
  TStart HtmlStart(std::string_view name, std::uint64_t key, bool selfClosing,
                   std::span<const THtmlAttribute> attributes);
  TStart ForeignStart(std::string_view name, bool selfClosing, THtmlNamespace space,
                      std::span<const THtmlAttribute> attributes);
  void Open(std::string_view name, THtmlNamespace space, bool htmlInside, bool root);
  void LeaveForeignRun();
  void PopForeign();

  TOpenElements html_;
  std::vector<TForeign> open_;
  std::size_t unrecorded_ = 0;  // foreign elements opened past the depth kept
  std::uint32_t template_depth_ = 0;
};

}  // namespace movrek
