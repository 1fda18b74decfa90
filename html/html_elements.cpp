#include "html/html_elements.h"

#include <algorithm>

#include "text/ascii_text.h"

namespace movrek {

namespace {

// The white space of the tag text parse: BS, TAB, LF, CR and blank.
bool IsTagWhiteSpace(char c) {
  return c == 8 || c == 9 || c == 10 || c == 13 || c == 32;
}

// The tag text parse. Calls on_token(trimmed token, is_name) for each token in
// order: the first one that ends is the name, the rest are attribute lines.
// Only double quotes hold white space inside a token, and a last token still
// inside an open double quote is dropped. on_token returns false to stop.
template <typename OnToken>
void WalkTagTokens(std::string_view s, OnToken&& onToken) {
  if (s.empty()) {
    return;
  }
  if (s.front() == '<') {
    s.remove_prefix(1);
  }
  if (s.empty()) {
    return;
  }
  if (s.back() == '>') {
    s.remove_suffix(1);
  }
  if (s.empty()) {
    return;
  }
  const std::size_t last = s.size() - 1;
  std::size_t token_start = 0;
  bool in_quote = false;
  bool name_stage = true;
  for (std::size_t i = 0; i <= last; ++i) {
    const char c = s[i];
    if (c == '"') {
      in_quote = !in_quote;
    }
    if ((IsTagWhiteSpace(c) || i == last) && !in_quote) {
      if (!onToken(TrimControls(s.substr(token_start, i + 1 - token_start)), name_stage)) {
        return;
      }
      name_stage = false;
      token_start = i + 1;
    }
  }
}

}  // namespace

std::string_view TagNameOf(std::string_view tagText) {
  std::string_view name;
  WalkTagTokens(tagText, [&name](std::string_view token, bool isName) {
    if (isName) {
      name = token;
    }
    return false;
  });
  return name;
}

TTagObject::TTagObject(std::string text) : THTMLElement(std::move(text)) {
  SetText(SourceText);
}

void TTagObject::SetText(const std::string& text) {
  WalkTagTokens(text, [this](std::string_view token, bool isName) {
    if (isName) {
      TagName.assign(token);
    } else {
      Attributes.emplace_back(token);
    }
    return true;
  });
}

std::string TTagObject::GetText() const {
  std::string text = "<" + TagName;
  for (const auto& line : Attributes) {
    text += ' ';
    text += line;
  }
  text += '>';
  return text;
}

bool TTagObject::IsTag(std::string_view name) const {
  return SameTextIgnoringCase(TagName, name);
}

namespace {

// Whether the attribute line is named name and, if so, its value.
bool MatchAttributeLine(std::string_view line, std::string_view name, std::string_view* value) {
  const std::size_t equals = line.find('=');
  const std::string_view line_name =
      equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
  if (!SameTextIgnoringCase(line_name, name)) {
    return false;
  }
  // A line without "=" (reached only by asking for the empty name) gives the
  // whole line, as taking the text after a missing "=" does.
  std::string_view found = line.substr(equals == std::string_view::npos ? 0 : equals + 1);
  if (found.size() >= 3) {
    if (found.front() == '"') {
      found.remove_prefix(1);
    }
    if (found.back() == '"') {
      found.remove_suffix(1);
    }
  }
  *value = found;
  return true;
}

}  // namespace

std::string TTagObject::AttributeValue(std::string_view name,
                                       const std::string& defaultValue) const {
  std::string_view value;
  for (const auto& line : Attributes) {
    if (MatchAttributeLine(line, name, &value)) {
      return std::string(value);
    }
  }
  return defaultValue;
}

std::string TagAttributeValue(std::string_view tagText, std::string_view name,
                              const std::string& defaultValue) {
  std::string_view value;
  bool found = false;
  WalkTagTokens(tagText, [&](std::string_view token, bool isName) {
    found = !isName && MatchAttributeLine(token, name, &value);
    return !found;
  });
  return found ? std::string(value) : defaultValue;
}

TNormalText::TNormalText(std::string text) : THTMLElement(std::move(text)), Content(SourceText) {}

}  // namespace movrek
