#include "html/open_elements.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace movrek {

namespace {

// Deeper elements are not recorded: memory stays bounded on any page.
constexpr std::size_t kMaxOpenElements = 4096;

enum TFlag : std::uint32_t {
  kHeading = 1U << 0,
  kClosesParagraph = 1U << 1,  // a start tag that ends an open paragraph first
  kTextElement = 1U << 2,      // content read as text, end tag with the text mode
  kVoid = 1U << 3,
  kHoldsMarker = 1U << 4,  // opens a new list of anchors
  kSpecial = 1U << 5,
  kBoundsScope = 1U << 6,
  kImpliedEnd = 1U << 7,  // closed by the end of what holds it
  kInert = 1U << 8,       // a start tag that changes nothing here
  kTablePart = 1U << 9,
};

// The flags of the element names that have any: an open-addressed table
// with a hash of a name's length and three of its letters, since a page asks
// for every tag it holds.
class TFlagTable {
 public:
  void Add(std::string_view name, std::uint32_t flag) {
    std::size_t at = Slot(name);
    while (!slots_[at].name.empty() && slots_[at].name != name) {
      at = (at + 1) % kSlots;
    }
    slots_[at].name = name;
    slots_[at].flags |= flag;
  }
  [[nodiscard]] std::uint32_t Find(std::string_view name) const {
    if (name.empty()) {
      return 0;
    }
    for (std::size_t at = Slot(name);; at = (at + 1) % kSlots) {
      if (slots_[at].name == name) {
        return slots_[at].flags;
      }
      if (slots_[at].name.empty()) {
        return 0;
      }
    }
  }

 private:
  static constexpr std::size_t kSlots = 512;
  static std::size_t Slot(std::string_view name) {
    const auto letter = [name](std::size_t k) {
      return std::size_t{static_cast<unsigned char>(name[k])};
    };
    return (name.size() * 131 + letter(0) * 31 + letter(name.size() - 1) * 7 +
            letter(name.size() / 2)) %
           kSlots;
  }
  struct TSlot {
    std::string_view name;
    std::uint32_t flags = 0;
  };
  std::array<TSlot, kSlots> slots_{};
};

std::uint32_t FlagsOf(std::string_view name) {
  static const TFlagTable kFlags = [] {
    TFlagTable flags;
    const auto add = [&flags](std::initializer_list<std::string_view> list, std::uint32_t flag) {
      for (const std::string_view element : list) {
        flags.Add(element, flag);
      }
    };
    add({"h1", "h2", "h3", "h4", "h5", "h6"}, kHeading | kClosesParagraph | kSpecial);
    add({"address",   "article", "aside",   "blockquote", "center",     "details", "dialog",
         "dir",       "div",     "dl",      "fieldset",   "figcaption", "figure",  "footer",
         "header",    "hgroup",  "main",    "menu",       "nav",        "ol",      "p",
         "search",    "section", "summary", "ul",         "pre",        "listing", "form",
         "plaintext", "table",   "hr",      "xmp"},
        kClosesParagraph);
    add({"script", "style", "title", "textarea", "xmp", "iframe", "noembed", "noframes",
         "noscript"},
        kTextElement);
    add({"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame", "hr", "image", "img",
         "input", "keygen", "link", "meta", "param", "source", "track", "wbr"},
        kVoid);
    add({"td", "th", "caption", "applet", "marquee", "object", "template"}, kHoldsMarker);
    add({"address",  "applet",     "area",     "article",    "aside",    "base",      "basefont",
         "bgsound",  "blockquote", "body",     "br",         "button",   "caption",   "center",
         "col",      "colgroup",   "dd",       "details",    "dir",      "div",       "dl",
         "dt",       "embed",      "fieldset", "figcaption", "figure",   "footer",    "form",
         "frame",    "frameset",   "head",     "header",     "hgroup",   "hr",        "html",
         "iframe",   "img",        "input",    "keygen",     "li",       "link",      "listing",
         "main",     "marquee",    "menu",     "meta",       "nav",      "noembed",   "noframes",
         "noscript", "object",     "ol",       "p",          "param",    "plaintext", "pre",
         "script",   "search",     "section",  "select",     "source",   "style",     "summary",
         "table",    "tbody",      "td",       "template",   "textarea", "tfoot",     "th",
         "thead",    "title",      "tr",       "track",      "ul",       "wbr",       "xmp"},
        kSpecial);
    add({"applet", "caption", "html", "table", "td", "th", "marquee", "object", "template", "svg",
         "math"},
        kBoundsScope);
    add({"dd", "dt", "li", "optgroup", "option", "p", "rb", "rp", "rt", "rtc"}, kImpliedEnd);
    add({"html", "head", "body", "frameset", "base", "basefont", "bgsound", "link", "meta", "param",
         "source", "track", "col", "colgroup"},
        kInert);
    add({"caption", "tbody", "thead", "tfoot", "tr", "td", "th"}, kTablePart);
    return flags;
  }();
  return kFlags.Find(name);
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

void TOpenElements::Push(std::string_view name, std::uint64_t anchor) {
  if (open_.size() >= kMaxOpenElements) {
    ++unrecorded_;
    return;
  }
  open_.push_back({std::string(name), anchor, FlagsOf(name)});
  if ((FlagsOf(name) & kHoldsMarker) != 0) {
    anchors_.push_back({});
  }
}

// Pops the elements down to the last one named name, that one included;
// false when none is open.
bool TOpenElements::PopThrough(std::string_view name) {
  const std::ptrdiff_t at = Find(name);
  if (at < 0) {
    return false;
  }
  while (static_cast<std::ptrdiff_t>(open_.size()) > at) {
    if ((open_.back().flags & kHoldsMarker) != 0) {
      ClearAnchorsToMarker();
    }
    open_.pop_back();
  }
  return true;
}

std::ptrdiff_t TOpenElements::Find(std::string_view name) const {
  for (auto k = static_cast<std::ptrdiff_t>(open_.size()) - 1; k >= 0; --k) {
    if (open_[static_cast<std::size_t>(k)].name == name) {
      return k;
    }
  }
  return -1;
}

bool TOpenElements::InScope(std::string_view name, TScope scope) const {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if (k->name == name) {
      return true;
    }
    const bool bound = scope == TScope::Table
                           ? IsOneOf(k->name, {"html", "table", "template"})
                           : (k->flags & kBoundsScope) != 0 ||
                                 (scope == TScope::ListItem && IsOneOf(k->name, {"ol", "ul"})) ||
                                 (scope == TScope::Button && k->name == "button");
    if (bound) {
      return false;
    }
  }
  return false;
}

void TOpenElements::GenerateImpliedEndTags(std::string_view except) {
  while (!open_.empty() && open_.back().name != except && (open_.back().flags & kImpliedEnd) != 0) {
    open_.pop_back();
  }
}

void TOpenElements::CloseParagraph() {
  if (InScope("p", TScope::Button)) {
    GenerateImpliedEndTags("p");
    PopThrough("p");
  }
}

// A new list item (or dd, dt) ends the open one of its kind.
void TOpenElements::CloseListItem(std::string_view name) {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    const bool sameKind = name == "li" ? k->name == "li" : (k->name == "dd" || k->name == "dt");
    if (sameKind) {
      const std::string found = k->name;
      GenerateImpliedEndTags(found);
      PopThrough(found);
      break;
    }
    if ((k->flags & kSpecial) != 0 && !IsOneOf(k->name, {"address", "div", "p"})) {
      break;
    }
  }
  CloseParagraph();
}

void TOpenElements::CloseCell() {
  GenerateImpliedEndTags({});
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if (k->name == "td" || k->name == "th") {
      PopThrough(std::string(k->name));
      return;
    }
  }
}

void TOpenElements::ClearAnchorsToMarker() {
  while (!anchors_.empty()) {
    const bool marker = anchors_.back().id == 0;
    anchors_.pop_back();
    if (marker) {
      return;
    }
  }
}

// The last anchor of the list after its last marker, or -1.
std::ptrdiff_t TOpenElements::LastAnchorEntry() const {
  for (auto k = static_cast<std::ptrdiff_t>(anchors_.size()) - 1; k >= 0; --k) {
    if (anchors_[static_cast<std::size_t>(k)].id == 0) {
      return -1;
    }
    return k;
  }
  return -1;
}

void TOpenElements::EmitCopy(const TAnchorEntry& entry) {
  views_.clear();
  for (const auto& [name, value] : entry.attributes) {
    views_.push_back({name, value});
  }
  copies_.OnAnchorCopy(views_);
}

// Anchors of the list whose element was closed around them are made again,
// where the text or tag that follows goes.
void TOpenElements::Reconstruct() {
  if (anchors_.empty()) {
    return;
  }
  const auto isOpen = [this](const TAnchorEntry& entry) {
    return entry.id == 0 || std::any_of(open_.begin(), open_.end(), [&entry](const TElement& e) {
             return e.anchor == entry.id;
           });
  };
  std::size_t first = anchors_.size();
  while (first > 0 && !isOpen(anchors_[first - 1])) {
    --first;
  }
  for (std::size_t k = first; k < anchors_.size(); ++k) {
    anchors_[k].id = next_id_++;
    Push("a", anchors_[k].id);
    EmitCopy(anchors_[k]);
  }
}

void TOpenElements::OpenAnchor(std::span<const THtmlAttribute> attributes) {
  TAnchorEntry entry;
  entry.id = next_id_++;
  for (const THtmlAttribute& attribute : attributes) {
    entry.attributes.emplace_back(attribute.Name, attribute.Value);
  }
  Push("a", entry.id);
  anchors_.push_back(std::move(entry));
}

// The end of an anchor (or a new one while one is open): a misnested anchor
// is split, its copy going into the block element it was left open around.
// False when the end tag is for the ordinary rules.
bool TOpenElements::AdoptAnchor() {
  if (!open_.empty() && open_.back().name == "a" &&
      std::none_of(anchors_.begin(), anchors_.end(),
                   [this](const TAnchorEntry& e) { return e.id == open_.back().anchor; })) {
    open_.pop_back();
    return true;
  }
  for (int round = 0; round < 8; ++round) {
    const std::ptrdiff_t entry = LastAnchorEntry();
    if (entry < 0) {
      return false;
    }
    const std::uint64_t id = anchors_[static_cast<std::size_t>(entry)].id;
    const auto element = std::find_if(open_.begin(), open_.end(),
                                      [id](const TElement& e) { return e.anchor == id; });
    if (element == open_.end()) {
      anchors_.erase(anchors_.begin() + entry);
      return true;
    }
    const auto at = element - open_.begin();
    if (!InScope("a", TScope::Default)) {
      return true;
    }
    const auto block = std::find_if(open_.begin() + at + 1, open_.end(),
                                    [](const TElement& e) { return (e.flags & kSpecial) != 0; });
    if (block == open_.end()) {
      open_.resize(static_cast<std::size_t>(at));
      anchors_.erase(anchors_.begin() + entry);
      return true;
    }
    // The elements between the anchor and the block are closed; the block
    // moves out of the anchor and a copy of the anchor goes into it.
    const auto blockAt = block - open_.begin();
    open_.erase(open_.begin() + at + 1, open_.begin() + blockAt);
    open_.erase(open_.begin() + at);
    TAnchorEntry& copy = anchors_[static_cast<std::size_t>(entry)];
    copy.id = next_id_++;
    open_.insert(open_.begin() + at + 1, TElement{"a", copy.id, FlagsOf("a")});
    EmitCopy(copy);
  }
  return true;
}

void TOpenElements::AnyOtherEndTag(std::string_view name) {
  for (auto k = static_cast<std::ptrdiff_t>(open_.size()) - 1; k >= 0; --k) {
    const std::string& open = open_[static_cast<std::size_t>(k)].name;
    if (open == name) {
      GenerateImpliedEndTags(name);
      PopThrough(name);
      return;
    }
    if ((open_[static_cast<std::size_t>(k)].flags & kSpecial) != 0) {
      return;
    }
  }
}

bool TOpenElements::InTableBody() const {
  return !open_.empty() && IsOneOf(open_.back().name, {"table", "tbody", "thead", "tfoot", "tr"});
}

void TOpenElements::Text(bool blank) {
  if (!(blank && InTableBody())) {
    Reconstruct();
  }
}

void TOpenElements::StartTag(std::string_view name, bool selfClosing,
                             std::span<const THtmlAttribute> attributes) {
  const std::uint32_t flags = FlagsOf(name);
  if (name == "a") {
    StartAnchor(attributes);
  } else if ((flags & kInert) != 0 || ((flags & kTextElement) != 0 && name != "xmp")) {
    // Nothing the anchors' fate depends on.
  } else if (name == "template") {
    Push(name, 0);
  } else if ((flags & kClosesParagraph) != 0) {
    CloseParagraph();
    if ((FlagsOf(name) & kHeading) != 0 && !open_.empty() && (open_.back().flags & kHeading) != 0) {
      open_.pop_back();
    }
    if (name == "xmp") {
      Reconstruct();
    } else if (name != "hr") {
      Push(name, 0);
    }
  } else if (name == "li" || name == "dd" || name == "dt") {
    CloseListItem(name);
    Push(name, 0);
  } else if ((flags & kTablePart) != 0) {
    StartTablePart(name);
  } else {
    if (name == "button" && InScope("button", TScope::Default)) {
      GenerateImpliedEndTags({});
      PopThrough("button");
    }
    if ((name == "option" || name == "optgroup") && !open_.empty() &&
        open_.back().name == "option") {
      open_.pop_back();
    }
    Reconstruct();
    if (!(flags & kVoid) != 0 && !(selfClosing && (name == "svg" || name == "math"))) {
      Push(name, 0);
    }
  }
}

void TOpenElements::StartAnchor(std::span<const THtmlAttribute> attributes) {
  if (const std::ptrdiff_t open = LastAnchorEntry(); open >= 0) {
    const std::uint64_t id = anchors_[static_cast<std::size_t>(open)].id;
    AdoptAnchor();
    // Whatever the adoption left of the old anchor goes.
    std::erase_if(anchors_, [id](const TAnchorEntry& e) { return e.id == id; });
    std::erase_if(open_, [id](const TElement& e) { return e.anchor == id; });
  }
  Reconstruct();
  OpenAnchor(attributes);
}

// Rows, cells and their groups mean something inside a table only.
void TOpenElements::StartTablePart(std::string_view name) {
  if (!InScope("table", TScope::Table)) {
    return;
  }
  const bool cell = name == "td" || name == "th";
  if ((cell || name == "tr") && (InScope("td", TScope::Table) || InScope("th", TScope::Table))) {
    CloseCell();
  }
  // Back to the row for a cell, to the table or its body for the rest.
  const auto context = [cell, name](const TElement& e) {
    if (e.name == "table" || e.name == "template") {
      return true;
    }
    if (cell) {
      return e.name == "tr" || e.name == "tbody" || e.name == "thead" || e.name == "tfoot";
    }
    return name == "tr" && (e.name == "tbody" || e.name == "thead" || e.name == "tfoot");
  };
  while (!open_.empty() && !context(open_.back())) {
    open_.pop_back();
  }
  Push(name, 0);
}

void TOpenElements::EndTag(std::string_view name) {
  const std::uint32_t flags = FlagsOf(name);
  if (unrecorded_ > 0) {
    --unrecorded_;
    return;
  }
  if (name == "a") {
    if (!AdoptAnchor()) {
      AnyOtherEndTag(name);
    }
  } else if (name == "p") {
    CloseParagraph();
  } else if (name == "li") {
    if (InScope(name, TScope::ListItem)) {
      GenerateImpliedEndTags(name);
      PopThrough(name);
    }
  } else if ((FlagsOf(name) & kHeading) != 0) {
    for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
      if ((k->flags & kHeading) != 0) {
        GenerateImpliedEndTags({});
        PopThrough(std::string(k->name));
        break;
      }
      if ((k->flags & kBoundsScope) != 0) {
        break;
      }
    }
  } else if ((flags & kTablePart) != 0 || name == "table") {
    if (InScope(name, TScope::Table)) {
      GenerateImpliedEndTags({});
      PopThrough(name);
    }
  } else if (name == "template") {
    PopThrough(name);
  } else if (name == "br") {
    Reconstruct();
  } else if ((flags & (kInert | kTextElement | kVoid)) != 0) {
    // Nothing to close.
  } else if ((flags & kSpecial) != 0 || name == "dd" || name == "dt") {
    if (InScope(name, TScope::Default)) {
      GenerateImpliedEndTags(name == "dd" || name == "dt" ? name : std::string_view());
      PopThrough(name);
    }
  } else {
    AnyOtherEndTag(name);
  }
}

}  // namespace movrek
