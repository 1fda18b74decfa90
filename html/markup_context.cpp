#include "html/markup_context.h"

#include <algorithm>
#include <array>

#include "text/ascii_text.h"

namespace movrek {

namespace {

// Deeper foreign content is counted, not recorded: a page of a million
// nested <g> costs no memory.
constexpr std::size_t kMaxForeignDepth = 4096;
// How far down an end tag looks for the element it closes; a real one
// closes an element near the top.
constexpr std::size_t kMaxEndTagSearch = 64;

constexpr std::uint64_t kSvg = NameKey("svg");
constexpr std::uint64_t kMath = NameKey("math");
constexpr std::uint64_t kTemplate = NameKey("template");

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// HTML start tags that end foreign content wherever they appear in it.
bool BreaksOutOfForeign(std::string_view name, std::span<const THtmlAttribute> attributes) {
  static constexpr std::array<std::string_view, 44> kNames = {
      "b",      "big",  "blockquote", "body",  "br",   "center", "code",    "dd",   "div",
      "dl",     "dt",   "em",         "embed", "h1",   "h2",     "h3",      "h4",   "h5",
      "h6",     "head", "hr",         "i",     "img",  "li",     "listing", "menu", "meta",
      "nobr",   "ol",   "p",          "pre",   "ruby", "s",      "small",   "span", "strong",
      "strike", "sub",  "sup",        "table", "tt",   "u",      "ul",      "var"};
  if (std::find(kNames.begin(), kNames.end(), name) != kNames.end()) {
    return true;
  }
  return name == "font" && std::any_of(attributes.begin(), attributes.end(), [](const auto& a) {
           return a.Name == "color" || a.Name == "face" || a.Name == "size";
         });
}

// Elements whose content is read by HTML rules although they are foreign.
bool IsIntegrationPoint(THtmlNamespace space, std::string_view name,
                        std::span<const THtmlAttribute> attributes) {
  if (space == THtmlNamespace::Svg) {
    return IsOneOf(name, {"foreignobject", "desc", "title"});
  }
  if (IsOneOf(name, {"mi", "mo", "mn", "ms", "mtext"})) {
    return true;
  }
  if (name != "annotation-xml") {
    return false;
  }
  return std::any_of(attributes.begin(), attributes.end(), [](const THtmlAttribute& a) {
    return a.Name == "encoding" && (SameTextIgnoringCase(a.Value, "text/html") ||
                                    SameTextIgnoringCase(a.Value, "application/xhtml+xml"));
  });
}

}  // namespace

TMarkupContext::TStart TMarkupContext::StartTag(std::string_view name, std::uint64_t key,
                                                bool selfClosing,
                                                std::span<const THtmlAttribute> attributes) {
  if (open_.empty()) {
    return HtmlStart(name, key, selfClosing, attributes);
  }
  const TForeign& top = open_.back();
  const bool mathText = top.Namespace == THtmlNamespace::MathMl &&
                        IsOneOf(top.Name, {"mi", "mo", "mn", "ms", "mtext"});
  if (top.Namespace == THtmlNamespace::MathMl && top.Name == "annotation-xml" && name == "svg") {
    return ForeignStart(name, selfClosing, THtmlNamespace::Svg, attributes);
  }
  if (top.HtmlInside && !(mathText && IsOneOf(name, {"mglyph", "malignmark"}))) {
    return HtmlStart(name, key, selfClosing, attributes);
  }
  if (BreaksOutOfForeign(name, attributes)) {
    LeaveForeignRun();
    return HtmlStart(name, key, selfClosing, attributes);
  }
  return ForeignStart(name, selfClosing, top.Namespace, attributes);
}

TMarkupContext::TStart TMarkupContext::HtmlStart(std::string_view name, std::uint64_t key,
                                                 bool selfClosing,
                                                 std::span<const THtmlAttribute> attributes) {
  const bool inTemplate = template_depth_ > 0;
  const TContentMode mode = html_.StartTag(key, selfClosing, attributes);
  if (key == kSvg || key == kMath) {
    const THtmlNamespace space = key == kSvg ? THtmlNamespace::Svg : THtmlNamespace::MathMl;
    if (!selfClosing) {
      Open(name, space, false, true);
    }
    return {space, inTemplate, TContentMode::Markup};
  }
  if (key == kTemplate) {
    ++template_depth_;  // a self-closing template opens all the same
  }
  return {THtmlNamespace::Html, inTemplate, mode};
}

TMarkupContext::TStart TMarkupContext::ForeignStart(std::string_view name, bool selfClosing,
                                                    THtmlNamespace space,
                                                    std::span<const THtmlAttribute> attributes) {
  if (!selfClosing) {
    Open(name, space, IsIntegrationPoint(space, name, attributes), false);
  }
  return {space, template_depth_ > 0, TContentMode::Markup};
}

void TMarkupContext::Open(std::string_view name, THtmlNamespace space, bool htmlInside, bool root) {
  if (open_.size() >= kMaxForeignDepth) {
    ++unrecorded_;
    return;
  }
  open_.push_back({std::string(name), space, htmlInside, root});
}

// The HTML elements know the foreign roots: closing one closes it there too.
void TMarkupContext::PopForeign() {
  if (open_.back().Root) {
    html_.CloseForeign(open_.back().Name);
  }
  open_.pop_back();
}

void TMarkupContext::EndTag(std::string_view name, std::uint64_t key) {
  if (unrecorded_ > 0) {
    --unrecorded_;
    return;
  }
  const std::size_t searched = std::min(open_.size(), kMaxEndTagSearch);
  for (std::size_t k = 1; k <= searched; ++k) {
    if (SameTextIgnoringCase(open_[open_.size() - k].Name, name)) {
      for (std::size_t popped = 0; popped < k; ++popped) {
        PopForeign();
      }
      return;
    }
  }
  // An end tag no foreign element takes is the HTML elements' business:
  // closing one of them closes the foreign content inside it.
  if (!HtmlRules()) {
    LeaveForeignRun();
  }
  if (HtmlRules()) {
    html_.EndTag(key);
    if (key == kTemplate && template_depth_ > 0) {
      --template_depth_;
    }
  }
}

void TMarkupContext::LeaveForeignRun() {
  while (!open_.empty() && !open_.back().HtmlInside) {
    PopForeign();
  }
}

}  // namespace movrek
