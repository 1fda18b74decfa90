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
  kRcData = 1U << 10,
  kRawText = 1U << 11,
};

// The names the rules below single out.
constexpr std::uint64_t kA = NameKey("a");
constexpr std::uint64_t kP = NameKey("p");
constexpr std::uint64_t kLi = NameKey("li");
constexpr std::uint64_t kDd = NameKey("dd");
constexpr std::uint64_t kDt = NameKey("dt");
constexpr std::uint64_t kTd = NameKey("td");
constexpr std::uint64_t kTh = NameKey("th");
constexpr std::uint64_t kTr = NameKey("tr");
constexpr std::uint64_t kTbody = NameKey("tbody");
constexpr std::uint64_t kThead = NameKey("thead");
constexpr std::uint64_t kTfoot = NameKey("tfoot");
constexpr std::uint64_t kTable = NameKey("table");
constexpr std::uint64_t kCaption = NameKey("caption");
constexpr std::uint64_t kTemplate = NameKey("template");
constexpr std::uint64_t kHtml = NameKey("html");
constexpr std::uint64_t kButton = NameKey("button");
constexpr std::uint64_t kOption = NameKey("option");
constexpr std::uint64_t kOptgroup = NameKey("optgroup");
constexpr std::uint64_t kOl = NameKey("ol");
constexpr std::uint64_t kUl = NameKey("ul");
constexpr std::uint64_t kAddress = NameKey("address");
constexpr std::uint64_t kDiv = NameKey("div");
constexpr std::uint64_t kXmp = NameKey("xmp");
constexpr std::uint64_t kHr = NameKey("hr");
constexpr std::uint64_t kBr = NameKey("br");
constexpr std::uint64_t kSvg = NameKey("svg");
constexpr std::uint64_t kMath = NameKey("math");
constexpr std::uint64_t kScript = NameKey("script");
constexpr std::uint64_t kPlaintext = NameKey("plaintext");

// The flags of the element names that have any: an open-addressed table of
// their keys, since a page asks for every tag it holds.
class TFlagTable {
 public:
  void Add(std::string_view name, std::uint32_t flag) {
    const std::uint64_t key = NameKey(name);
    std::size_t at = SlotOf(key);
    while (slots_[at].key != 0 && slots_[at].key != key) {
      at = (at + 1) % kSlots;
    }
    slots_[at].key = key;
    slots_[at].flags |= flag;
  }
  [[nodiscard]] std::uint32_t Find(std::uint64_t key) const {
    for (std::size_t at = SlotOf(key);; at = (at + 1) % kSlots) {
      if (slots_[at].key == key) {
        return slots_[at].flags;
      }
      if (slots_[at].key == 0) {
        return 0;
      }
    }
  }

 private:
  static constexpr std::size_t kSlots = 512;
  // Short names' keys are their letters: mixed, so that names with the same
  // first letters spread over the table.
  static std::size_t SlotOf(std::uint64_t key) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> 55);
  }
  struct TSlot {
    std::uint64_t key = 0;
    std::uint32_t flags = 0;
  };
  std::array<TSlot, kSlots> slots_{};
};

std::uint32_t FlagsOf(std::uint64_t key) {
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
    add({"title", "textarea"}, kRcData);
    // <noscript> too: a browser that runs scripts reads its content as text.
    add({"style", "xmp", "iframe", "noembed", "noframes", "noscript"}, kRawText);
    return flags;
  }();
  return kFlags.Find(key);
}

}  // namespace

void TOpenElements::Push(std::uint64_t key, std::uint32_t flags, std::uint64_t anchor) {
  if (open_.size() >= kMaxOpenElements) {
    ++unrecorded_;
    return;
  }
  open_.push_back({key, anchor, flags});
  if ((flags & kHoldsMarker) != 0) {
    anchors_.push_back({});
  }
}

void TOpenElements::Pop() {
  if ((open_.back().flags & kHoldsMarker) != 0) {
    ClearAnchorsToMarker();
  }
  open_.pop_back();
}

// Pops the elements down to the last one of that name, that one included;
// false when none is open.
bool TOpenElements::PopThrough(std::uint64_t key) {
  const std::ptrdiff_t at = Find(key);
  if (at < 0) {
    return false;
  }
  while (static_cast<std::ptrdiff_t>(open_.size()) > at) {
    Pop();
  }
  return true;
}

std::ptrdiff_t TOpenElements::Find(std::uint64_t key) const {
  for (auto k = static_cast<std::ptrdiff_t>(open_.size()) - 1; k >= 0; --k) {
    if (open_[static_cast<std::size_t>(k)].key == key) {
      return k;
    }
  }
  return -1;
}

bool TOpenElements::InScope(std::uint64_t key, TScope scope) const {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if (k->key == key) {
      return true;
    }
    const bool bound = scope == TScope::Table
                           ? (k->key == kHtml || k->key == kTable || k->key == kTemplate)
                           : (k->flags & kBoundsScope) != 0 ||
                                 (scope == TScope::ListItem && (k->key == kOl || k->key == kUl)) ||
                                 (scope == TScope::Button && k->key == kButton);
    if (bound) {
      return false;
    }
  }
  return false;
}

void TOpenElements::GenerateImpliedEndTags(std::uint64_t except) {
  while (!open_.empty() && open_.back().key != except && (open_.back().flags & kImpliedEnd) != 0) {
    Pop();
  }
}

void TOpenElements::CloseParagraph() {
  if (InScope(kP, TScope::Button)) {
    GenerateImpliedEndTags(kP);
    PopThrough(kP);
  }
}

// A new list item (or dd, dt) ends the open one of its kind.
void TOpenElements::CloseListItem(std::uint64_t key) {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    const bool sameKind = key == kLi ? k->key == kLi : (k->key == kDd || k->key == kDt);
    if (sameKind) {
      const std::uint64_t found = k->key;
      GenerateImpliedEndTags(found);
      PopThrough(found);
      break;
    }
    if ((k->flags & kSpecial) != 0 && k->key != kAddress && k->key != kDiv && k->key != kP) {
      break;
    }
  }
  CloseParagraph();
}

void TOpenElements::CloseCell() {
  GenerateImpliedEndTags(0);
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if (k->key == kTd || k->key == kTh) {
      PopThrough(k->key);
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
  if (anchors_.empty() || anchors_.back().id == 0) {
    return -1;
  }
  return static_cast<std::ptrdiff_t>(anchors_.size()) - 1;
}

void TOpenElements::EmitCopy(const TAnchorEntry& entry) {
  views_.clear();
  std::uint32_t at = 0;
  for (const auto& [nameEnd, valueEnd] : entry.ends) {
    const std::string_view text = entry.text;
    views_.push_back({text.substr(at, nameEnd - at), text.substr(nameEnd, valueEnd - nameEnd)});
    at = valueEnd;
  }
  copies_.OnAnchorCopy(views_);
}

void TOpenElements::DropAnchorEntry(std::ptrdiff_t at) {
  spare_ = std::move(anchors_[static_cast<std::size_t>(at)]);
  anchors_.erase(anchors_.begin() + at);
}

bool TOpenElements::IsOpen(std::uint64_t anchor) const {
  return std::any_of(open_.begin(), open_.end(),
                     [anchor](const TElement& e) { return e.anchor == anchor; });
}

// Anchors of the list whose element was closed around them are made again,
// where the text or tag that follows goes.
void TOpenElements::Reconstruct() {
  if (anchors_.empty() || anchors_.back().id == 0 || IsOpen(anchors_.back().id)) {
    return;
  }
  std::size_t first = anchors_.size() - 1;
  while (first > 0 && anchors_[first - 1].id != 0 && !IsOpen(anchors_[first - 1].id)) {
    --first;
  }
  for (std::size_t k = first; k < anchors_.size(); ++k) {
    anchors_[k].id = next_id_++;
    Push(kA, FlagsOf(kA), anchors_[k].id);
    EmitCopy(anchors_[k]);
  }
}

void TOpenElements::OpenAnchor(std::span<const THtmlAttribute> attributes) {
  TAnchorEntry entry = std::move(spare_);
  spare_ = {};
  entry.id = next_id_++;
  entry.text.clear();
  entry.ends.clear();
  for (const THtmlAttribute& attribute : attributes) {
    entry.text.append(attribute.Name);
    const auto nameEnd = static_cast<std::uint32_t>(entry.text.size());
    entry.text.append(attribute.Value);
    entry.ends.emplace_back(nameEnd, static_cast<std::uint32_t>(entry.text.size()));
  }
  Push(kA, FlagsOf(kA), entry.id);
  anchors_.push_back(std::move(entry));
}

// The end of an anchor (or a new one while one is open): a misnested anchor
// is split, its copy going into the block element it was left open around.
// False when the end tag is for the ordinary rules.
bool TOpenElements::AdoptAnchor() {
  if (!open_.empty() && open_.back().key == kA &&
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
      DropAnchorEntry(entry);
      return true;
    }
    const auto at = element - open_.begin();
    if (!InScope(kA, TScope::Default)) {
      return true;
    }
    const auto block = std::find_if(open_.begin() + at + 1, open_.end(),
                                    [](const TElement& e) { return (e.flags & kSpecial) != 0; });
    if (block == open_.end()) {
      while (static_cast<std::ptrdiff_t>(open_.size()) > at) {
        Pop();
      }
      DropAnchorEntry(entry);
      return true;
    }
    // The elements between the anchor and the block are closed; the block
    // moves out of the anchor and a copy of the anchor goes into it.
    const auto blockAt = block - open_.begin();
    open_.erase(open_.begin() + at + 1, open_.begin() + blockAt);
    open_.erase(open_.begin() + at);
    TAnchorEntry& copy = anchors_[static_cast<std::size_t>(entry)];
    copy.id = next_id_++;
    open_.insert(open_.begin() + at + 1, TElement{kA, copy.id, FlagsOf(kA)});
    EmitCopy(copy);
  }
  return true;
}

void TOpenElements::AnyOtherEndTag(std::uint64_t key) {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if (k->key == key) {
      GenerateImpliedEndTags(key);
      PopThrough(key);
      return;
    }
    if ((k->flags & kSpecial) != 0) {
      return;
    }
  }
}

bool TOpenElements::InTableBody() const {
  if (open_.empty()) {
    return false;
  }
  const std::uint64_t top = open_.back().key;
  return top == kTable || top == kTbody || top == kThead || top == kTfoot || top == kTr;
}

void TOpenElements::Text(bool blank) {
  if (!anchors_.empty() && !(blank && InTableBody())) {
    Reconstruct();
  }
}

TContentMode TOpenElements::StartTag(std::uint64_t key, bool selfClosing,
                                     std::span<const THtmlAttribute> attributes) {
  const std::uint32_t flags = FlagsOf(key);
  if (key == kA) {
    StartAnchor(attributes);
  } else if ((flags & kInert) != 0 || ((flags & kTextElement) != 0 && key != kXmp)) {
    // Nothing the anchors' fate depends on.
  } else if (key == kTemplate) {
    Push(key, flags, 0);
  } else if ((flags & kClosesParagraph) != 0) {
    CloseParagraph();
    if ((flags & kHeading) != 0 && !open_.empty() && (open_.back().flags & kHeading) != 0) {
      Pop();
    }
    if (key == kXmp) {
      Reconstruct();
    } else if (key != kHr) {
      Push(key, flags, 0);
    }
  } else if (key == kLi || key == kDd || key == kDt) {
    CloseListItem(key);
    Push(key, flags, 0);
  } else if ((flags & kTablePart) != 0) {
    StartTablePart(key, flags);
  } else {
    StartOther(key, flags, selfClosing);
  }
  return (flags & kRcData) != 0    ? TContentMode::RcData
         : (flags & kRawText) != 0 ? TContentMode::RawText
         : key == kScript          ? TContentMode::ScriptData
         : key == kPlaintext       ? TContentMode::PlainText
                                   : TContentMode::Markup;
}

void TOpenElements::StartOther(std::uint64_t key, std::uint32_t flags, bool selfClosing) {
  if (key == kButton && InScope(kButton, TScope::Default)) {
    GenerateImpliedEndTags(0);
    PopThrough(kButton);
  }
  if ((key == kOption || key == kOptgroup) && !open_.empty() && open_.back().key == kOption) {
    Pop();
  }
  Reconstruct();
  if ((flags & kVoid) == 0 && !(selfClosing && (key == kSvg || key == kMath))) {
    Push(key, flags, 0);
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
void TOpenElements::StartTablePart(std::uint64_t key, std::uint32_t flags) {
  if (!InScope(kTable, TScope::Table)) {
    return;
  }
  const bool cell = key == kTd || key == kTh;
  if ((cell || key == kTr) && (InScope(kTd, TScope::Table) || InScope(kTh, TScope::Table))) {
    CloseCell();
  }
  // Back to the row for a cell, to the table or its body for the rest.
  const auto context = [cell, key](const TElement& e) {
    if (e.key == kTable || e.key == kTemplate) {
      return true;
    }
    const bool body = e.key == kTbody || e.key == kThead || e.key == kTfoot;
    return cell ? (e.key == kTr || body) : (key == kTr && body);
  };
  while (!open_.empty() && !context(open_.back())) {
    Pop();
  }
  Push(key, flags, 0);
}

void TOpenElements::EndTag(std::uint64_t key) {
  const std::uint32_t flags = FlagsOf(key);
  if (unrecorded_ > 0) {
    --unrecorded_;
    return;
  }
  if (key == kA) {
    if (!AdoptAnchor()) {
      AnyOtherEndTag(key);
    }
  } else if (key == kP) {
    CloseParagraph();
  } else if (key == kLi) {
    if (InScope(key, TScope::ListItem)) {
      GenerateImpliedEndTags(key);
      PopThrough(key);
    }
  } else if ((flags & kHeading) != 0) {
    EndHeading();
  } else if ((flags & kTablePart) != 0 || key == kTable) {
    if (InScope(key, TScope::Table)) {
      GenerateImpliedEndTags(0);
      PopThrough(key);
    }
  } else if (key == kTemplate) {
    PopThrough(key);
  } else if (key == kBr) {
    Reconstruct();
  } else if ((flags & (kInert | kTextElement | kVoid)) != 0) {
    // Nothing to close.
  } else if ((flags & kSpecial) != 0) {
    if (InScope(key, TScope::Default)) {
      GenerateImpliedEndTags(key == kDd || key == kDt ? key : 0);
      PopThrough(key);
    }
  } else {
    AnyOtherEndTag(key);
  }
}

void TOpenElements::EndHeading() {
  for (auto k = open_.rbegin(); k != open_.rend(); ++k) {
    if ((k->flags & kHeading) != 0) {
      GenerateImpliedEndTags(0);
      // Any heading closes the last one open.
      while (!open_.empty() && (open_.back().flags & kHeading) == 0) {
        Pop();
      }
      if (!open_.empty()) {
        Pop();
      }
      return;
    }
    if ((k->flags & kBoundsScope) != 0) {
      return;
    }
  }
}

void TOpenElements::CloseForeign(std::string_view name) {
  PopThrough(NameKey(name));
}

}  // namespace movrek
