#include "engine/listing/anchor_text.h"

#include "engine/listing/link_listing.h"
#include "engine/listing/listing_limits.h"

namespace movrek {

namespace {

// The white space the HTML standard names: browsers collapse it in text.
bool IsHtmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// Appends text with each run of white space as one blank, none at the start,
// and NUL (which the tree builder drops) left out; out stays within limit.
void AppendCollapsed(std::string_view text, std::size_t limit, std::string& out) {
  for (const char c : text) {
    if (out.size() >= limit) {
      return;
    }
    if (IsHtmlSpace(c)) {
      if (!out.empty() && out.back() != ' ') {
        out += ' ';
      }
    } else if (c != '\0') {
      out += c;
    }
  }
}

bool IsBlank(std::string_view text) {
  for (const char c : text) {
    if (!IsHtmlSpace(c)) {
      return false;
    }
  }
  return true;
}

std::string Bounded(std::string_view value) {
  return std::string(value.substr(0, kMaxWrittenAnchorBytes));
}

// The text cut after its first `chars` characters (UTF-8).
void CutAtCharacters(std::string& text, std::size_t chars) {
  std::size_t seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == chars) {
      text.resize(i);
      return;
    }
  }
}

std::string CollapsedAndCut(std::string_view text) {
  std::string out;
  AppendCollapsed(text, text.size(), out);
  CutAtCharacters(out, kMaxAnchorTextChars);
  while (!out.empty() && out.back() == ' ') {
    out.pop_back();
  }
  return out;
}

}  // namespace

void TAnchorTokenSink::OnStartTag(const THtmlStartTag& tag) {
  // Most tags are neither anchors nor bases, and without text neither is
  // looked at further.
  if (!with_text_ && tag.Name != "a" && tag.Name != "base") {
    return;
  }
  const bool document_anchor =
      tag.Name == "a" && tag.Namespace == THtmlNamespace::Html && !tag.InTemplate;
  if (with_text_ && document_anchor) {
    // A second anchor start closes the first, as a browser's tree builder does.
    EndAnchor();
  }
  std::string_view href;
  switch (AnchorTagOf(tag, &href)) {
    case TAnchorTag::Anchor:
      OnAnchor(href);
      if (with_text_) {
        open_ = true;
        if (const THtmlAttribute* rel = tag.Find("rel")) {
          anchor_.Rel = Bounded(rel->Value);
        }
      }
      return;
    case TAnchorTag::Base:
      OnBase(href);
      return;
    case TAnchorTag::None:
      break;
  }
  if (open_ && anchor_.Alt.empty() && tag.Name == "img" && tag.Namespace == THtmlNamespace::Html) {
    // An alt of blanks shows nothing: the next image's alt may stand in.
    if (const THtmlAttribute* alt = tag.Find("alt"); alt != nullptr && !IsBlank(alt->Value)) {
      anchor_.Alt = Bounded(alt->Value);
    }
  }
}

void TAnchorTokenSink::OnEndTag(std::string_view name) {
  if (name == "a") {
    EndAnchor();
  }
}

void TAnchorTokenSink::OnText(std::string_view text, TTextKind kind) {
  if (open_ && kind == TTextKind::Data) {
    AppendCollapsed(text, kMaxWrittenAnchorBytes, anchor_.Text);
  }
}

void TAnchorTokenSink::FinishAnchors() {
  EndAnchor();
}

void TAnchorTokenSink::EndAnchor() {
  if (!open_) {
    return;
  }
  open_ = false;
  OnAnchorText(anchor_);
  anchor_ = TWrittenAnchor{};
}

THtmlTokenizerOptions AnchorTokenizerOptions(bool withText) {
  THtmlTokenizerOptions options;
  options.ReportText = withText;
  return options;
}

std::string ShownAnchorText(std::string_view text, std::string_view alt) {
  std::string shown = CollapsedAndCut(text);
  return shown.empty() ? CollapsedAndCut(alt) : shown;
}

}  // namespace movrek
